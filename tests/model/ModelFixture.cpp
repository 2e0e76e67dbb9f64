#include "model/ModelFixture.h"

#include <array>

namespace morvale::testing {

std::optional<float> ModelFixture::outputLevel(const Model& model, const std::string& key) {
    const TapSession* session = ModelTesting::session(model, key);
    if (session == nullptr) {
        return std::nullopt;
    }
    // The session's aggregate device is the one whose tap captures its processes.
    std::string tapUID;
    for (const auto& [id, tap] : sim.audio.taps()) {
        if (tap.processes == session->processObjects()) {
            tapUID = tap.uuid;
        }
    }
    for (const auto& [device, description] : sim.audio.aggregateDevices()) {
        const auto* taps = description.at("taps").asList();
        if (taps == nullptr || taps->empty() || *taps->front().find("uid") != PlistValue(tapUID)) {
            continue;
        }
        std::array<float, 2 * 64> in{};
        in.fill(1.0f);
        std::array<float, 2 * 64> out{};
        AudioBuffer inBuffer{2, sizeof in, in.data()};
        AudioBuffer outBuffer{2, sizeof out, out.data()};
        AudioBufferList input{1, &inBuffer};
        AudioBufferList output{1, &outBuffer};
        for (int cycle = 0; cycle < 2; ++cycle) {
            if (sim.audio.runIOCycle(device, input, output) != 1) {
                return std::nullopt;
            }
        }
        return out.back();
    }
    return std::nullopt;
}

}  // namespace morvale::testing
