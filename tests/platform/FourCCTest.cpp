#include "platform/FourCC.h"

#include <gtest/gtest.h>

namespace morvale {
namespace {

TEST(FourCC, CodesAreTheirCharactersFirstMostSignificant) {
    struct Case {
        std::uint32_t code;
        std::uint32_t value;
        const char* text;
    };
    const Case cases[] = {
        {kScopeGlobal, 0x676C6F62, "'glob'"},
        {kScopeInput, 0x696E7074, "'inpt'"},
        {kDefaultOutputDevice, 0x644F7574, "'dOut'"},
        {kDeviceUID, 0x75696420, "'uid '"},
        {kDeviceStreams, 0x73746D23, "'stm#'"},
        {kIOProcStreamUsage, 0x73757365, "'suse'"},
        {kProcessObjectList, 0x70727323, "'prs#'"},
        {kProcessPID, 0x70706964, "'ppid'"},
        {kProcessBundleID, 0x70626964, "'pbid'"},
        {kProcessIsRunningOutput, 0x7069726F, "'piro'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.code, c.value) << c.text;
        EXPECT_EQ(fourCCString(c.code), c.text);
    }
    EXPECT_EQ(fourCCString(0), "0");  // not printable: shown as a number
}

}  // namespace
}  // namespace morvale
