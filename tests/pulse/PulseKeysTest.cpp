// Telling the two servers apart by the name they report: the backend skips
// a PulseAudio workaround on PipeWire, where it silences a channel.
#include <gtest/gtest.h>

#include <string_view>

#include "platform/pulse/PulseKeys.h"

namespace morvale::pulse {
namespace {

TEST(PulseKeys, ServedByPipeWireOnlyForPipeWiresPulseServer) {
    struct Case {
        std::string_view serverName;
        bool pipeWire;
    };
    const Case cases[] = {
        {"PulseAudio (on PipeWire 0.3.65)", true},
        {"PulseAudio (on PipeWire 1.2.7)", true},
        {"pulseaudio", false},
        // A missing name (older or odd servers) gets PulseAudio's behaviour,
        // which is right on PulseAudio and merely slow to start elsewhere.
        {"", false},
        // A name that only mentions the word is no PipeWire server.
        {"PipeWire-free sound server", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(servedByPipeWire(c.serverName), c.pipeWire) << c.serverName;
    }
}

}  // namespace
}  // namespace morvale::pulse
