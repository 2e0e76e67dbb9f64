// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioProcess.h"

#include <gtest/gtest.h>

#include "audio/CA.h"
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

// The object-list reader over the ways a list read can go: a short read keeps
// the announced length (the ids it did not fill are 0), a partial id is never
// taken, and a list that can not be read is empty.
TEST(CA, IdsReadsWhatTheListHolds) {
    using Failure = SimulatedAudioSystem::Failure;
    const struct {
        const char* what;
        std::optional<std::uint32_t> extraBytes;  // announced beyond what is read
        std::optional<Failure> failure;
        std::size_t processes;
        std::vector<std::size_t> expected;  // indices into the processes; 2 means id 0
    } cases[] = {
        {"the whole list", std::nullopt, std::nullopt, 2, {0, 1}},
        {"short read: the announced length, the rest 0", 4, std::nullopt, 2, {0, 1, 2}},
        {"announced 11 bytes: two whole ids", 3, std::nullopt, 2, {0, 1}},
        {"size query fails", std::nullopt, Failure{Call::getPropertyDataSize, -1}, 2, {}},
        {"size below one id", 3, std::nullopt, 0, {}},
        {"read fails", 8, Failure{Call::getPropertyData, kAudioHardwareIllegalOperationError},
         0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedAudioSystem sim;
        std::vector<AudioObjectID> objects;
        for (std::int32_t pid = 10; objects.size() < c.processes; ++pid) {
            objects.push_back(sim.addProcess(pid, std::nullopt));
        }
        objects.push_back(0);
        if (c.extraBytes) {
            sim.setShortRead(kAudioObjectSystemObject, kProcessObjectList, *c.extraBytes);
        }
        if (c.failure) {
            sim.injectFailure(*c.failure);
        }
        std::vector<AudioObjectID> expected;
        for (const std::size_t i : c.expected) {
            expected.push_back(objects[i]);
        }
        EXPECT_EQ(CA::ids(sim, kAudioObjectSystemObject, kProcessObjectList), expected);
    }
}

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

// Who a process is comes from one lookup: the running application's name and
// whether it is an ordinary one, else the name the process declared, else the
// kernel's short name.
TEST(AudioProcessIdentity, PrefersTheApplicationThenTheDeclaredThenTheShortName) {
    const struct {
        std::optional<RunningApplication> application;
        std::string shortName;
        std::optional<std::string> declared;
        std::string name;
        bool isApplication;
        std::string programName;
    } cases[] = {
        {{{"Rhythmbox", ActivationPolicy::regular}}, "rhythmbox", "Music", "Rhythmbox", true, ""},
        {{{"Tray", ActivationPolicy::accessory}}, "tray", std::nullopt, "Tray", false, ""},
        {{{"", ActivationPolicy::regular}}, "x", std::nullopt, "", true, ""},  // used as it is
        {{{std::nullopt, ActivationPolicy::regular}}, "helper", std::nullopt, "helper", true, ""},
        {std::nullopt, "paplay", "Tunebox", "Tunebox", false, "paplay"},
        {std::nullopt, "paplay", "paplay", "paplay", false, ""},
        {std::nullopt, "paplay", "", "paplay", false, ""},
        {std::nullopt, "java", "Caf\xE9", "Caf\xEF\xBF\xBD", false, "java"},  // Latin-1: replaced
        {std::nullopt, "caf\xE9", std::nullopt, "caf\xEF\xBF\xBD", false, ""},
        {std::nullopt, "", std::nullopt, "", false, ""},  // nothing known
        {std::nullopt, std::string(300, 'n'), std::nullopt, std::string(256, 'n'), false, ""},
    };
    for (const auto& c : cases) {
        Fixture f;
        const std::int32_t pid = 10;
        if (c.application) {
            f.processes.applications[pid] = *c.application;
        }
        f.processes.shortNames[pid] = c.shortName;
        const AudioObjectID object = f.audio.addProcess(pid, std::nullopt);
        f.audio.setProcessDeclaredName(object, c.declared);
        const auto all = AudioProcess::all(f.sources);
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].name, c.name) << c.shortName;
        EXPECT_EQ(all[0].isApplication, c.isApplication) << c.shortName;
        EXPECT_EQ(all[0].programName, c.programName) << c.shortName;
    }
}

}  // namespace
}  // namespace morvale
