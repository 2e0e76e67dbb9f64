// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Translation.h"

namespace morvale {
namespace {

TEST(FillIn, ReplacesEachPlaceholderOnce) {
    const struct {
        const char* what;
        std::string_view pattern;
        std::initializer_list<std::string_view> args;
        std::string_view expected;
    } cases[] = {
        {"arguments in another order", "%2 before %1", {"one", "two"}, "two before one"},
        {"the ninth argument", "%9", {"1", "2", "3", "4", "5", "6", "7", "8", "nine"}, "nine"},
        // A file name or a parse error that holds a placeholder of its own is
        // not filled in again.
        {"a placeholder inside an argument", "%1: %2", {"%2", "late"}, "%2: late"},
        {"a placeholder without its argument", "%1 of %2", {"one"}, "one of %2"},
        // One digit only: %10 is the first argument followed by a 0.
        {"two digits", "%10", {"a"}, "a0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fillIn(c.pattern, c.args), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace morvale
