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
    struct Case {
        const char* text;
        std::optional<Level> level;
    };
    const Case cases[] = {
        {"40%", Level{false, 0.4}},
        {"0.4", Level{false, 0.4}},
        {".4", Level{false, 0.4}},
        {"0", Level{false, 0.0}},
        {"100%", Level{false, 1.0}},
        {"1", Level{false, 1.0}},
        {"12.5%", Level{false, 0.125}},
        {"+5%", Level{true, 0.05}},
        {"-5%", Level{true, -0.05}},
        {"+0.05", Level{true, 0.05}},
        {"-100%", Level{true, -1.0}},
        // A bare number above 1 is most likely a percentage without its sign:
        // refused rather than guessed.
        {"40", std::nullopt},
        {"101%", std::nullopt},
        {"+101%", std::nullopt},
        {"1.5", std::nullopt},
        {"", std::nullopt},
        {"%", std::nullopt},
        {"+", std::nullopt},
        {"-%", std::nullopt},
        {"40 %", std::nullopt},
        {" 40%", std::nullopt},
        {"0,4", std::nullopt},  // a decimal comma is not read as a point
        {"4e-1", std::nullopt},
        {"nan", std::nullopt},
        {"inf%", std::nullopt},
        {"--5%", std::nullopt},
        {"+-5%", std::nullopt},
        {"5%%", std::nullopt},
        {"loud", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<Level> level = parseLevel(QString::fromUtf8(c.text));
        ASSERT_EQ(level.has_value(), c.level.has_value());
        if (level) {
            EXPECT_EQ(level->relative, c.level->relative);
            EXPECT_DOUBLE_EQ(level->value, c.level->value);
        }
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
    const QList<AppName> apps{
        {"org.example.Tunebox", "Tunebox"},
        {"org.example.Webfox", "Webfox"},
        {"org.example.Webfox.nightly", "Webfox Nightly"},
        {"mpv", "mpv"},
        {"mpv-helper", "Helper"},
        {"org.example.Uber", QString::fromUtf8("Über")},
        {"twin.one", "Twin"},
        {"twin.two", "Twin"},
    };
    const struct {
        const char* query;
        std::vector<qsizetype> matches;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(matchApplication(apps, QString::fromUtf8(c.query)), c.matches);
    }
}

}  // namespace
}  // namespace morvale::control
