// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Buffers.h"
#include "audio/AudioError.h"
#include "audio/TapSession.h"
#include "platform/FourCC.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale {
namespace {

using sim::SimulatedAudioSystem;
using Call = SimulatedAudioSystem::Call;
using Failure = SimulatedAudioSystem::Failure;

constexpr const char* kUID = "BuiltInSpeakerDevice";

// The simulated system, able to throw once the device has started.
struct Hardware : SimulatedAudioSystem {
    bool throwAfterStart = false;

    OSStatus deviceStart(AudioObjectID device, AudioDeviceIOProcID proc) override {
        const OSStatus status = SimulatedAudioSystem::deviceStart(device, proc);
        return throwAfterStart ? throw std::bad_alloc() : status;
    }
};

// An output device and two processes of one application to tap.
struct Rig {
    Hardware sim;
    AudioObjectID device;
    std::vector<AudioObjectID> processes;

    explicit Rig(std::uint32_t deviceInputs = 0)
        : device(sim.addOutputDevice(kUID, deviceInputs)),
          processes{sim.addProcess(300, "com.example.player", true),
                    sim.addProcess(301, "com.example.player.helper", true)} {}

    TapSession start(float gain = 1.0f) { return {sim, processes, device, kUID, gain}; }
    AudioObjectID aggregate() const { return sim.aggregateDevices().begin()->first; }
};

// Each session's tap has a UUID of its own: a backend refuses a second tap of
// the same UUID. (What the tap and its device are made of shows on the real
// servers: a tap that did not mute, route or start would be heard.)
TEST(TapSession, EachSessionsTapHasAUuidOfItsOwn) {
    Rig rig;
    const TapSession first = rig.start(), second = rig.start();
    EXPECT_NE(rig.sim.taps().begin()->second.uuid, rig.sim.taps().rbegin()->second.uuid);
}

// Each failed step throws its error, and what was made before it is torn down.
TEST(TapSession, AFailedStepTearsDownWhatExistsAndThrowsItsError) {
    using enum SimulatedAudioSystem::Call;
    const struct {
        std::optional<Failure> failure;  // none: IO proc creation succeeds without an id
        std::string message;
    } cases[] = {
        {Failure{createProcessTap, kAudioParamError}, "Couldn't create tap (error -50)"},
        {Failure{createAggregateDevice, INT32_MIN},
         "Couldn't create aggregate device (error -2147483648)"},
        {Failure{createIOProcIDWithBlock, kAudioHardwareBadDeviceError},
         "Couldn't create IO proc (error 560227702)"},
        {std::nullopt, "Couldn't create IO proc (error 0)"},
        {Failure{deviceStart, kAudioHardwareNotRunningError},
         "Couldn't start audio (error 1937010544)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Rig rig;
        c.failure ? rig.sim.injectFailure(*c.failure) : rig.sim.setIOProcCreationWithoutID(true);
        try {
            rig.start();
            ADD_FAILURE() << "construction succeeded";
        } catch (const MorvaleError& error) {
            EXPECT_EQ(error.code(), c.failure ? c.failure->status : 0);
            EXPECT_EQ(error.localizedDescription(), c.message);
        }
        EXPECT_FALSE(rig.sim.hasLeftovers());
    }

    // An exception on the way tears down as a failed step does.
    Rig rig;
    rig.sim.throwAfterStart = true;
    EXPECT_THROW(rig.start(), std::bad_alloc);
    EXPECT_FALSE(rig.sim.hasLeftovers());
}

// Stop (or the end of the session's life) stops the device before taking apart
// what it runs on, even when a step fails, and only once.
TEST(TapSession, StopTearsDownInReverseOrderOnce) {
    using enum SimulatedAudioSystem::Call;
    const std::vector<Call> teardown{deviceStop, destroyIOProcID, destroyAggregateDevice,
                                     destroyProcessTap};
    Rig rig(1);
    rig.sim.setCallLogging(true);
    const auto calls = [&] {
        std::vector<Call> result;
        for (const auto& record : rig.sim.log())
            result.push_back(record.call);
        rig.sim.clearLog();
        return result;
    };
    {
        const TapSession ended = rig.start();
        rig.sim.clearLog();
    }
    EXPECT_EQ(calls(), teardown);

    TapSession session = rig.start();
    rig.sim.injectFailure({deviceStop, kAudioHardwareUnspecifiedError});
    rig.sim.injectFailure({destroyIOProcID, kAudioHardwareUnspecifiedError});
    rig.sim.clearLog();
    session.stop();
    EXPECT_EQ(calls(), teardown);
    EXPECT_FALSE(rig.sim.hasLeftovers());
    session.stop();
    EXPECT_TRUE(calls().empty());
}

// The tap plays at the session's gain from its first frame (a muted
// application is not heard fading out at each start), past the device's inputs.
TEST(TapSession, PlaysAtItsGainFromTheFirstFrame) {
    Rig rig(1);
    const TapSession session = rig.start(0.25f);
    testing::Buffers input({testing::filled(1, 512, 7.0f), testing::filled(2, 512, 1.0f)});
    testing::Buffers output({testing::filled(2, 512, 9.0f)});
    ASSERT_EQ(rig.sim.runIOCycle(rig.aggregate(), input.list(), output.list()), 1);
    EXPECT_EQ(output.samples(0), std::vector<float>(1024, 0.25f));
}

}  // namespace
}  // namespace morvale
