#include "base/Utf8.h"

#include <gtest/gtest.h>

namespace morvale {
namespace {

TEST(SanitizeUtf8, KeepsValidTextAndReplacesEachInvalidSequence) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"firefox", "firefox"},
        {"caf\xC3\xA9 \xE2\x99\xAB \xF0\x9F\x8E\xB5", "caf\xC3\xA9 \xE2\x99\xAB \xF0\x9F\x8E\xB5"},
        {"a\xFF" "b", "a" + r + "b"},                  // a byte that never starts a character
        {"\xC3", r},                                    // cut short at the end
        {"\xE2\x99" "x", r + "x"},                     // cut short, then more text
        {"\xC0\xAF", r + r},                           // overlong form
        {"\xED\xA0\x80", r + r + r},                   // a surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},           // beyond U+10FFFF
        {"\x80\x80", r + r},                           // stray continuation bytes
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sanitizeUtf8(c.in), c.out) << c.in;
    }
}

}  // namespace
}  // namespace morvale
