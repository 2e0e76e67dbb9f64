#include "platform/FourCC.h"

#include <gtest/gtest.h>

#include <set>

namespace morvale {
namespace {

// The printable form the call log uses, and selectors that stay apart.
TEST(FourCC, PrintsPrintableCodesAsTextAndOthersAsNumbers) {
    EXPECT_EQ(fourCCString(kDeviceStreams), "'stm#'");
    EXPECT_EQ(fourCCString(kDeviceUID), "'uid '");  // a space is printable
    EXPECT_EQ(fourCCString(0x41424301), "1094861569");  // not printable: shown as a number
    // Two selectors with one code would read each other's properties.
    const std::set<std::uint32_t> selectors{
        kDefaultOutputDevice, kDeviceUID,       kDeviceStreams,     kIOProcStreamUsage,
        kProcessPID,          kProcessBundleID, kProcessObjectList, kProcessIsRunningOutput};
    EXPECT_EQ(selectors.size(), 8u);
}

}  // namespace
}  // namespace morvale
