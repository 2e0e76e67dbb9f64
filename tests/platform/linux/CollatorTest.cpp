#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Locales.h"
#include "TempDir.h"
#include "platform/linux/LocaleCollator.h"

namespace morvale::linux_desktop {
namespace {

std::vector<std::string> sorted(const Collator& collator, std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(),
                     [&](const auto& a, const auto& b) { return collator.compare(a, b) < 0; });
    return names;
}

TEST(LocaleCollator, OrdersByTheLocaleIgnoringCase) {
    testing::TempDir scratch;
    if (!testing::makeLocaleAvailable("en_US.UTF-8", scratch.path())) {
        GTEST_SKIP() << "en_US.UTF-8 is neither installed nor buildable with localedef";
    }
    LocaleCollator collator("en_US.UTF-8");
    ASSERT_TRUE(collator.usesLocale());
    EXPECT_EQ(sorted(collator, {"zebra", "Beta",
                                "\xC3\xA9"
                                "clair",
                                "alpha", "ecluse", "eclair",
                                "\xC3\x89"
                                "mile",
                                "Alpha"}),
              (std::vector<std::string>{"alpha", "Alpha", "Beta", "eclair",
                                        "\xC3\xA9"
                                        "clair",
                                        "ecluse",
                                        "\xC3\x89"
                                        "mile",
                                        "zebra"}));
    EXPECT_EQ(collator.compare("Firefox", "firefox"), 0);
    EXPECT_EQ(collator.compare("\xC3\x89"
                               "CLAIR",
                               "\xC3\xA9"
                               "clair"),
              0);
    EXPECT_LT(collator.compare("a", "b"), 0);
    EXPECT_GT(collator.compare("b", "a"), 0);
    ::unsetenv("LOCPATH");
}

TEST(LocaleCollator, FallsBackToFoldedCodePointOrder) {
    LocaleCollator collator("xx_NOT_A_LOCALE");
    EXPECT_FALSE(collator.usesLocale());
    EXPECT_EQ(sorted(collator, {"zebra", "Beta", "alpha",
                                "\xC3\xA9"
                                "clair",
                                "Alpha", ""}),
              (std::vector<std::string>{"", "alpha", "Alpha", "Beta", "zebra",
                                        "\xC3\xA9"
                                        "clair"}));
    EXPECT_EQ(collator.compare("MPV", "mpv"), 0);
}

TEST(LocaleCollator, InvalidUtf8AndEmbeddedNulsAreHarmless) {
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
}  // namespace morvale::linux_desktop
