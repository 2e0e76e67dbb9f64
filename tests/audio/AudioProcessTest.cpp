// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioProcess.h"

#include <gtest/gtest.h>

#include "platform/FourCC.h"
#include "platform/sim/SimProcesses.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale {
namespace {

using sim::SimulatedAudioSystem;
using Call = SimulatedAudioSystem::Call;

struct Fixture {
    SimulatedAudioSystem audio;
    sim::SimProcesses processes;
    AudioProcess::Sources sources{audio, processes, processes};
};

TEST(AudioProcessAll, KeepsEveryClientButItselfAndThoseWithoutAValidPid) {
    Fixture f;
    f.processes.ownPidValue = 500;
    f.processes.shortNames = {{10, "mpv"}, {11, "spotify"}, {12, "pw-play"}};
    const AudioObjectID a = f.audio.addProcess(10, "io.mpv", true);
    f.audio.addProcess(500, "org.morvale.Morvale", true);  // this program itself
    f.audio.addProcess(0, "zero.pid");
    f.audio.addProcess(-3, "negative.pid");
    const AudioObjectID unreadable = f.audio.addProcess(13, "unreadable.pid");
    const AudioObjectID b = f.audio.addProcess(11, "");  // empty id counts as none
    const AudioObjectID c = f.audio.addProcess(10, std::nullopt);  // same pid again
    const AudioObjectID d = f.audio.addProcess(12, std::nullopt);
    f.audio.injectFailure({Call::getPropertyData, -1, kProcessPID, unreadable});
    f.audio.injectFailure({Call::getPropertyData, -1, kProcessIsRunningOutput, d});
    f.audio.setProcessRecording(b, true);
    f.audio.setProcessRecording(d, true);
    f.audio.injectFailure({Call::getPropertyData, -1, kProcessIsRunningInput, d});

    const std::vector<AudioProcess> expected{
        {a, 10, "io.mpv", "mpv", true, false},
        {b, 11, std::nullopt, "spotify", false, true},
        {c, 10, std::nullopt, "mpv", false, false},
        {d, 12, std::nullopt, "pw-play", false, false},  // unreadable flags: silent, not recording
    };
    EXPECT_EQ(AudioProcess::all(f.sources), expected);
}

TEST(AudioProcessName, PrefersTheApplicationNameThenTheShortName) {
    Fixture f;
    f.processes.applications[1] = {"Rhythmbox", ActivationPolicy::regular};
    f.processes.applications[2] = {"", ActivationPolicy::regular};
    f.processes.applications[3] = {std::nullopt, ActivationPolicy::regular};
    f.processes.shortNames = {{1, "rhythmbox"}, {2, "x"}, {3, "helper"}, {4, "caf\xE9"},
                              {6, std::string(300, 'n')}};
    const std::pair<std::int32_t, std::string> cases[] = {
        {1, "Rhythmbox"},
        {2, ""},  // an empty localized name is used as it is
        {3, "helper"},
        {4, "caf\xEF\xBF\xBD"},  // Latin-1 byte: replaced
        {5, ""},                 // nothing known
        {6, std::string(256, 'n')},  // at most the buffer
    };
    for (const auto& [pid, name] : cases) {
        EXPECT_EQ(AudioProcess::processName(pid, f.sources), name) << pid;
    }
}

}  // namespace
}  // namespace morvale
