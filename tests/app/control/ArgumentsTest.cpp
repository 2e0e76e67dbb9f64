// SPDX-License-Identifier: GPL-3.0-or-later
// What the command line reads from its arguments: levels, boosts and the
// application a name means.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "app/control/AppMatch.h"
#include "app/control/Arguments.h"

namespace morvale::control {
namespace {

TEST(CommandArguments, LevelsAreReadAsAbsoluteOrStepsAndTyposAreRefused) {
    const struct {
        const char* text;
        bool relative;
        double value;
    } levels[] = {
        {"40%", false, 0.4},  {"0.4", false, 0.4},   {".4", false, 0.4},      {"0", false, 0.0},
        {"100%", false, 1.0}, {"1", false, 1.0},     {"12.5%", false, 0.125}, {"+5%", true, 0.05},
        {"-5%", true, -0.05}, {"+0.05", true, 0.05}, {"-100%", true, -1.0},
    };
    for (const auto& c : levels) {
        SCOPED_TRACE(c.text);
        const std::optional<Level> level = parseLevel(QString::fromUtf8(c.text));
        ASSERT_TRUE(level.has_value());
        EXPECT_EQ(level->relative, c.relative);
        EXPECT_DOUBLE_EQ(level->value, c.value);
    }
    // A bare number above 1 is most likely a percentage without its sign:
    // refused rather than guessed. A decimal comma is not read as a point.
    for (const char* typo : {"40", "101%", "+101%", "1.5", "", "%", "+", "-%", "40 %", " 40%",
                             "0,4", "4e-1", "nan", "inf%", "--5%", "+-5%", "5%%", "loud"}) {
        EXPECT_FALSE(parseLevel(QString::fromUtf8(typo)).has_value()) << typo;
    }
}

TEST(CommandArguments, BoostsAreDecibelsWithinTheSlidersRange) {
    const struct {
        const char* text;
        std::optional<double> decibels;
    } cases[] = {
        {"6", 6.0},           {"6.5", 6.5},           {"0", 0.0},
        {"30", 30.0},         {"6dB", 6.0},           {"6 dB", 6.0},
        {"6db", 6.0},         {"30.5", std::nullopt}, {"-1", std::nullopt},
        {"+6", std::nullopt}, {"6 d", std::nullopt},  {"", std::nullopt},
        {"dB", std::nullopt}, {"inf", std::nullopt},  {"6  dB", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseBoost(QString::fromUtf8(c.text), 30.0), c.decibels);
    }
}

TEST(CommandArguments, AnApplicationIsMatchedWholeFirstThenByAUniqueStart) {
    // clang-format off
    const QList<AppName> apps{
        {"org.example.Tunebox", "Tunebox"}, {"org.example.Webfox", "Webfox"},
        {"org.example.Webfox.nightly", "Webfox Nightly"}, {"mpv", "mpv"}, {"mpv-helper", "Helper"},
        {"org.example.Uber", QString::fromUtf8("Über")}, {"twin.one", "Twin"}, {"twin.two", "Twin"}};
    const struct { const char* query; std::vector<qsizetype> matches; } cases[] = {
        {"Tunebox", {0}},
        {"tunebox", {0}},              // case does not matter
        {"TUNE", {0}},                 // a unique start
        {"org.example.tunebox", {0}},  // the key
        {"webfox", {1}},               // whole beats a longer name that starts alike
        {"webfox n", {2}},
        {"mpv", {3}},  // a whole key beats another key that starts with it
        {"mpv-", {4}},
        {"web", {1, 2}},  // several starts: for the user to choose
        {"org.example.", {0, 1, 2, 5}},
        {"twin", {6, 7}},   // two rows of the same name
        {"twin.one", {6}},  // told apart by key
        {"üBER", {5}},      // case beyond ASCII
        {"chatter", {}},
        {"", {}},
        {"Tunebox ", {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(matchApplication(apps, QString::fromUtf8(c.query)), c.matches);
    }
}

}  // namespace
}  // namespace morvale::control
