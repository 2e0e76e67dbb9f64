// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Utf8.h"

#include <gtest/gtest.h>

namespace morvale {
namespace {

TEST(SanitizeUtf8, KeepsValidTextAndReplacesEachInvalidSequence) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9 \xE2\x99\xAB \xF0\x9F\x8E\xB5", "caf\xC3\xA9 \xE2\x99\xAB \xF0\x9F\x8E\xB5"},
        {"a\xFF" "b", "a" + r + "b"},         // a byte that never starts a character
        {"\xE2\x99" "x\xC3", r + "x" + r},  // cut short, before more text and at the end
        {"\xC0\xAF", r + r},                  // overlong form
        {"\xED\xA0\x80", r + r + r},          // a surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},  // beyond U+10FFFF
        {"\x80\x80", r + r},                  // stray continuation bytes
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(sanitizeUtf8(in), out) << in;
    }
}

}  // namespace
}  // namespace morvale
