// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Locales.h"
#include "TempDir.h"
#include "platform/linux/LocaleCollator.h"

namespace morvale::LinuxDesktop {
namespace {

std::vector<std::string> sorted(const Collator& collator, std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(),
                     [&](const auto& a, const auto& b) { return collator.compare(a, b) < 0; });
    return names;
}

// é and É; kept apart from the letters after them, which would read as hex digits.
const std::string e = "\xC3\xA9", E = "\xC3\x89";

TEST(LocaleCollator, OrdersByTheLocaleIgnoringCase) {
    testing::TempDir scratch;
    if (!testing::makeLocaleAvailable("en_US.UTF-8", scratch.path())) {
        GTEST_SKIP() << "en_US.UTF-8 is neither installed nor buildable with localedef";
    }
    LocaleCollator collator("en_US.UTF-8");
    ASSERT_TRUE(collator.usesLocale());
    EXPECT_EQ(sorted(collator, {"zebra", "Beta", e + "clair", "alpha", "ecluse", "eclair",
                                E + "mile", "Alpha"}),
              (std::vector<std::string>{"alpha", "Alpha", "Beta", "eclair", e + "clair", "ecluse",
                                        E + "mile", "zebra"}));
    EXPECT_EQ(collator.compare(E + "CLAIR", e + "clair"), 0);
    EXPECT_GT(collator.compare("b", "a"), 0);
    ::unsetenv("LOCPATH");
}

// Invalid UTF-8 and embedded NULs are harmless whichever way it compares:
// with a locale, without one, and where none is installed.
TEST(LocaleCollator, ComparesBrokenTextSafely) {
    for (const char* name : {"C", "C.UTF-8", "xx_NOT_A_LOCALE"}) {
        LocaleCollator collator(name);
        const std::string broken("a\xFF\xC3", 3);
        const std::string withNul("a\0b", 3);
        EXPECT_EQ(collator.compare(broken, broken), 0) << name;
        EXPECT_NE(collator.compare(broken, "a"), 0) << name;
        EXPECT_NE(collator.compare(withNul, "a"), 0) << name;
    }
}

}  // namespace
}  // namespace morvale::LinuxDesktop
