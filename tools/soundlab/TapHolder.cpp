// SPDX-License-Identifier: GPL-3.0-or-later
// Holds a tap on one process for the tests, until it is killed:
//   morvale_pulse_tap_holder PID
// Connects to the server in PULSE_SERVER, taps the process object with that
// pid at gain 0.5 on the default device, says "tapped" and waits.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "PulseHarness.h"
#include "audio/CA.h"
#include "audio/TapSession.h"
#include "platform/FourCC.h"
#include "platform/pulse/PulseAudioSystem.h"

int main(int argc, char** argv) {
    using namespace morvale;
    if (argc < 2) {
        return 2;
    }
    const std::int32_t pid = std::stoi(argv[1]);
    const pulse::testing::FakeIdentifier identifier(/*knowsNone=*/true);
    pulse::PulseAudioSystem::Options options;
    if (const char* server = std::getenv("PULSE_SERVER")) {
        options.server = server;
    }
    pulse::PulseAudioSystem hw(identifier, options);
    std::vector<AudioObjectID> objects;
    for (const AudioObjectID id : CA::ids(hw, kAudioObjectSystemObject, kProcessObjectList)) {
        if (CA::get<std::int32_t>(hw, id, kProcessPID, -1) == pid) {
            objects.push_back(id);
        }
    }
    const AudioObjectID device = CA::defaultOutputDevice(hw);
    const auto uid = CA::string(hw, device, kDeviceUID);
    if (objects.empty() || !uid) {
        std::printf("nothing to tap\n");
        return 1;
    }
    TapSession session(hw, objects, device, *uid, 0.5f);
    std::printf("tapped\n");
    std::fflush(stdout);
    for (;;) {
        ::pause();
    }
}
