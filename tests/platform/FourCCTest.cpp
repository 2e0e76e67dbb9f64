#include "platform/FourCC.h"

#include <gtest/gtest.h>

#include <set>

namespace morvale {
namespace {

// The constants are written as fourCC("....") in the header; what needs
// checking is the byte order and the printable form the logs and tests use.
TEST(FourCC, CodesAreTheirCharactersFirstMostSignificant) {
    EXPECT_EQ(fourCC("glob"), 0x676C6F62u);
    EXPECT_EQ(fourCC("\xFF\x01\x02\x03"), 0xFF010203u);  // no sign extension
    EXPECT_EQ(fourCCString(kDeviceStreams), "'stm#'");
    EXPECT_EQ(fourCCString(kDeviceUID), "'uid '");  // a space is printable
    EXPECT_EQ(fourCCString(0), "0");                // not printable: shown as a number
    EXPECT_EQ(fourCCString(0x41424301), "1094861569");
    // Two selectors with one code would read each other's properties.
    const std::set<std::uint32_t> selectors{
        kDefaultOutputDevice, kDeviceUID,       kDeviceStreams,     kIOProcStreamUsage,
        kProcessPID,          kProcessBundleID, kProcessObjectList, kProcessIsRunningOutput};
    EXPECT_EQ(selectors.size(), 8u);
}

}  // namespace
}  // namespace morvale
