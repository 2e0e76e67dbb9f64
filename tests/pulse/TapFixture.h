// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ServerTest.h"
#include "audio/CA.h"
#include "audio/TapSession.h"
#include "platform/FourCC.h"

namespace morvale::pulse::testing {

// A private server with two outputs, "speakers" (the default) and
// "headphones", the backend on it, and taps made as the model makes them:
// on the default output, for the process objects of one pid.
class TapFixture : public ServerTest {
protected:
    TapFixture() : ServerTest({.secondSink = true}) {}
    // With the server's stream restore too.
    explicit TapFixture(bool streamRestore)
        : ServerTest({.streamRestore = streamRestore, .secondSink = true}) {}

    std::unique_ptr<PulseAudioSystem> connect() {
        auto hw = std::make_unique<PulseAudioSystem>(identifier, options());
        EXPECT_EQ(hw->connectionState(), PulseAudioSystem::ConnectionState::ready)
            << hw->errorText();
        return hw;
    }
    static std::vector<AudioObjectID> objectsOf(AudioHardware& hw, pid_t pid) {
        std::vector<AudioObjectID> ids;
        for (const AudioObjectID id : CA::ids(hw, kAudioObjectSystemObject, kProcessObjectList)) {
            if (CA::get<std::int32_t>(hw, id, kProcessPID, -1) == pid) {
                ids.push_back(id);
            }
        }
        return ids;
    }
    static std::unique_ptr<TapSession> tap(AudioHardware& hw, pid_t pid, float gain) {
        std::vector<AudioObjectID> objects;
        EXPECT_TRUE(eventually([&] { return !(objects = objectsOf(hw, pid)).empty(); }));
        const AudioObjectID device = CA::defaultOutputDevice(hw);
        const auto uid = CA::string(hw, device, kDeviceUID);
        EXPECT_TRUE(uid.has_value());
        return std::make_unique<TapSession>(hw, objects, device, uid.value_or(""), gain,
                                            TapApplication{"Player", {}, {}});
    }
};

}  // namespace morvale::pulse::testing
