// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/pulse/server/PulseKeys.h"

namespace morvale::pulse {
namespace {

// Application names go into a module's quoted arguments: nothing in one may
// end the quoting, and a long one is cut without splitting a character.
TEST(PulseKeys, ModuleArgumentTextKeepsNamesInsideTheirQuotes) {
    const std::string longName(100, 'a');
    const std::string accents = std::string(79, 'a') + "\xC3\xA9\xC3\xA9";  // "éé" at byte 79
    const std::pair<std::string, std::string> cases[] = {
        {"Morvale: Zo\xC3\xAB's \"Player\"", "Morvale: Zo\xC3\xABs Player"},
        {"a' sink_name=evil b\\", "a sink_name=evil b"},
        {"line\nbreak\ttab\x7F", "linebreaktab"},
        {longName, longName.substr(0, 80)},
        {accents, std::string(79, 'a') + "\xC3\xA9"},
        {"", ""},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_EQ(moduleArgumentText(name), text) << name;
    }
}

// The periods that other clients' streams ask for, as the server lists them.
TEST(PulseKeys, PeriodsAreReadStrictlyFromFramesOverRate) {
    using namespace std::chrono_literals;
    const std::pair<std::string_view, std::optional<std::chrono::microseconds>> cases[] = {
        {"1920/48000", 40ms},       {"4294967295/1", 4294967295s},  // the largest, without overflow
        {"1920/0", std::nullopt},   {"1920", std::nullopt},
        {"-1/48000", std::nullopt}, {"99999999999/48000", std::nullopt},
    };
    for (const auto& [text, period] : cases) {
        EXPECT_EQ(periodOf(text), period) << text;
    }
}

// Mixers show a stream as "<application.name> : <media.name>", and ours
// carries "Morvale" as its application: the stream names itself after the
// tapped application alone, so "Morvale" shows once.
TEST(PulseKeys, StreamNamesLeaveTheDevicesPrefixToTheConnection) {
    const std::pair<std::string_view, std::string> cases[] = {
        {"Morvale: mpv Media Player", "mpv Media Player"},
        {"Morvale: Morvale: odd", "Morvale: odd"},  // an application that names itself so
        {"Morvale", "Morvale"},                     // a device named after no application
        {"Morvale: ", "Morvale: "},
        {"", "Morvale"},
        {"Other: x", "Other: x"},
    };
    for (const auto& [device, stream] : cases) {
        EXPECT_EQ(streamNameOf(device), stream) << device;
    }
}

}  // namespace
}  // namespace morvale::pulse
