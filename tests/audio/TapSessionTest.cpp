// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Buffers.h"
#include "audio/AudioError.h"
#include "audio/TapSession.h"
#include "platform/FourCC.h"
#include "platform/PropertyString.h"
#include "platform/StreamUsage.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale {
namespace {

using sim::SimulatedAudioSystem;
using Call = SimulatedAudioSystem::Call;
using Failure = SimulatedAudioSystem::Failure;

constexpr const char* kUID = "BuiltInSpeakerDevice";

// The simulated system, able to announce another size for the stream usage
// record than the one it holds, and to throw once the device has started.
struct Hardware : SimulatedAudioSystem {
    std::optional<std::uint32_t> usageSize;
    bool throwAfterStart = false;

    OSStatus getPropertyDataSize(AudioObjectID o, const AudioObjectPropertyAddress& a,
                                 std::uint32_t qs, const void* q, std::uint32_t* size) override {
        const OSStatus status = SimulatedAudioSystem::getPropertyDataSize(o, a, qs, q, size);
        if (status == kAudioNoError && usageSize && a.mSelector == kIOProcStreamUsage) {
            *size = *usageSize;
        }
        return status;
    }
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

// The session taps the application's processes, muted where they would play
// and private, into an aggregate device led by the output device, and runs it.
// Each session's tap and device have their own uuids.
TEST(TapSession, TapsTheProcessesIntoARunningAggregateDevice) {
    Rig rig(1);
    const TapSession session = rig.start(0.25f), second = rig.start();

    const TapDescription description = rig.sim.taps().begin()->second;
    EXPECT_EQ(description.processes, rig.processes);
    EXPECT_EQ(description.muteBehavior, TapMuteBehavior::mutedWhenTapped);
    EXPECT_TRUE(description.isPrivate);
    const PlistValue::Dict aggregate = rig.sim.aggregateDevices().at(rig.aggregate());
    EXPECT_EQ(aggregate.at("master"), PlistValue(kUID));
    EXPECT_EQ(rig.sim.ioProcs().at(0).device, rig.aggregate());
    EXPECT_TRUE(rig.sim.ioProcs().at(0).running);

    std::set<std::string> uuids;
    for (const auto& [id, tap] : rig.sim.taps())
        uuids.insert('"' + tap.uuid + '"');
    for (const auto& [id, dev] : rig.sim.aggregateDevices())
        uuids.insert(describe(dev.at("uid")));
    EXPECT_EQ(uuids.size(), 4u);
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

// The output device's own inputs are switched off for the IO proc, best effort:
// whatever fails there, the session starts.
TEST(TapSession, SwitchesTheOutputDevicesOwnInputsOff) {
    using enum SimulatedAudioSystem::Call;
    const struct {
        const char* what;
        std::uint32_t deviceInputs;
        std::optional<Failure> failure;
        std::optional<std::uint32_t> announcedSize;
        std::vector<std::uint32_t> flags;  // as written for the IO proc; empty if never
    } cases[] = {
        {"no input streams", 0, std::nullopt, std::nullopt, {}},
        {"one input stream", 1, std::nullopt, std::nullopt, {0, 1}},
        {"three input streams", 3, std::nullopt, std::nullopt, {0, 0, 0, 1}},
        {"stream list unreadable", 2, Failure{getPropertyData, -1, kDeviceStreams}, {}, {}},
        {"size query fails", 1, Failure{getPropertyDataSize, -1, kIOProcStreamUsage}, {}, {}},
        {"size below one flag", 1, std::nullopt, 12u, {}},
        {"read fails", 1, Failure{getPropertyData, -1, kIOProcStreamUsage}, std::nullopt, {}},
        {"write fails", 1, Failure{setPropertyData, -1, kIOProcStreamUsage}, std::nullopt, {}},
        // Four streams reported into a buffer sized for one: nothing is written
        // past the buffer, and the stale record is not sent back.
        {"more streams than the buffer holds",
         3,
         std::nullopt,
         std::uint32_t{StreamUsage::sizeFor(1)},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(c.deviceInputs);
        if (c.failure)
            rig.sim.injectFailure(*c.failure);
        rig.sim.usageSize = c.announcedSize;
        const TapSession session = rig.start();
        const auto proc = rig.sim.ioProcs().at(0);
        EXPECT_TRUE(proc.running);
        EXPECT_EQ(rig.sim.streamUsage(proc.device, proc.id), c.flags);
    }
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

// A system that lets an aggregate device's main sub-device be set (the
// simulated one keeps it fixed), or refuses it.
struct MovableHardware : Hardware {
    bool refuse = false;
    std::vector<std::string> movedTo;

    OSStatus setPropertyData(AudioObjectID o, const AudioObjectPropertyAddress& a, std::uint32_t qs,
                             const void* q, std::uint32_t size, const void* data) override {
        if (a.mSelector != kAggregateMainSubDevice) {
            return Hardware::setPropertyData(o, a, qs, q, size, data);
        }
        StringRef uid = nullptr;
        if (size != sizeof uid) {
            return kAudioHardwareBadPropertySizeError;
        }
        std::memcpy(&uid, data, sizeof uid);
        movedTo.push_back(stringRefValue(uid));
        return refuse ? kAudioHardwareIllegalOperationError : kAudioNoError;
    }
};

// A session follows a new output device in place where the system takes it.
// The IO block skips the old device's own inputs to reach the tap's, so a
// device with another number of them needs a new session, and the system is
// not asked.
TEST(TapSession, MovesToAnotherOutputDeviceInPlaceWhereItCan) {
    struct Case {
        const char* name;
        std::uint32_t newInputs;
        bool refuse;
        bool stopped;
        bool moves;
        bool asked;
    };
    const Case cases[] = {
        {"the same inputs, taken", 0, false, false, true, true},
        {"the same inputs, refused", 0, true, false, false, true},
        {"another number of inputs", 2, false, false, false, false},
        {"a stopped session", 0, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MovableHardware hw;
        hw.refuse = c.refuse;
        const AudioObjectID speakers = hw.addOutputDevice(kUID);
        const AudioObjectID headphones = hw.addOutputDevice("Headphones", c.newInputs);
        const std::vector<AudioObjectID> processes{hw.addProcess(300, "com.example.player", true)};
        TapSession session(hw, processes, speakers, kUID, 0.5f);
        if (c.stopped) {
            session.stop();
        }
        EXPECT_EQ(session.setOutputDevice(headphones, "Headphones"), c.moves);
        EXPECT_EQ(session.deviceUID(), c.moves ? "Headphones" : kUID);
        EXPECT_EQ(hw.movedTo,
                  c.asked ? std::vector<std::string>{"Headphones"} : std::vector<std::string>{});
        // The session plays on either way.
        EXPECT_EQ(hw.aggregateDevices().size(), c.stopped ? 0u : 1u);
    }
}

}  // namespace
}  // namespace morvale
