#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/pulse/PulseKeys.h"

namespace morvale::pulse {
namespace {

// Telling the two servers apart by the name they report: the backend skips
// a PulseAudio workaround on PipeWire, where it silences a channel.
TEST(PulseKeys, ServedByPipeWireOnlyForPipeWiresPulseServer) {
    const std::pair<std::string_view, bool> cases[] = {
        {"PulseAudio (on PipeWire 0.3.65)", true},
        {"PulseAudio (on PipeWire 1.2.7)", true},
        {"pulseaudio", false},
        // A missing name (older or odd servers) gets PulseAudio's behaviour,
        // which is right on PulseAudio and merely slow to start elsewhere.
        {"", false},
        // A name that only mentions the word is no PipeWire server.
        {"PipeWire-free sound server", false},
    };
    for (const auto& [serverName, pipeWire] : cases) {
        EXPECT_EQ(servedByPipeWire(serverName), pipeWire) << serverName;
    }
}

// Application names go into a module's quoted arguments: nothing in one may
// end the quoting, and a long one is cut without splitting a character.
TEST(PulseKeys, ModuleArgumentTextKeepsNamesInsideTheirQuotes) {
    const std::string longName(100, 'a');
    const std::string accents = std::string(79, 'a') + "\xC3\xA9\xC3\xA9";  // "éé" at byte 79
    const std::pair<std::string, std::string> cases[] = {
        {"Morvale: Firefox ESR", "Morvale: Firefox ESR"},
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
        {"1920/48000", 40ms},
        {"8192/48000", 170666us},
        {"0/48000", 0us},
        {"4294967295/1", 4294967295s},  // the largest, without overflow
        {"1920/0", std::nullopt},
        {"1920", std::nullopt},
        {"1920/48000 ", std::nullopt},
        {"-1/48000", std::nullopt},
        {"99999999999/48000", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, period] : cases) {
        EXPECT_EQ(periodOf(text), period) << text;
    }
}

}  // namespace
}  // namespace morvale::pulse
