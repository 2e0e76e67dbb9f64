#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>

#include "Buffers.h"
#include "audio/AudioError.h"
#include "audio/TapSession.h"
#include "platform/FourCC.h"
#include "platform/StreamUsage.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale {
namespace {

using sim::SimulatedAudioSystem;
using Call = SimulatedAudioSystem::Call;
using Failure = SimulatedAudioSystem::Failure;

constexpr const char* kUID = "BuiltInSpeakerDevice";

// An output device and two processes of one application to tap.
struct Rig {
    SimulatedAudioSystem sim;
    AudioObjectID device;
    std::vector<AudioObjectID> processes;

    explicit Rig(std::uint32_t deviceInputs = 0)
        : device(sim.addOutputDevice(kUID, deviceInputs)),
          processes{sim.addProcess(300, "com.example.player", true),
                    sim.addProcess(301, "com.example.player.helper", true)} {
        sim.setCallLogging(true);
    }

    TapSession start(float gain = 1.0f) { return {sim, processes, device, kUID, gain}; }
    std::unique_ptr<TapSession> startOn(AudioHardware& hardware) {
        return std::make_unique<TapSession>(hardware, processes, device, kUID, 1.0f);
    }
    AudioObjectID aggregate() const { return sim.aggregateDevices().begin()->first; }
    std::vector<Call> calls() const {
        std::vector<Call> result;
        for (const auto& record : sim.log()) {
            result.push_back(record.call);
        }
        return result;
    }
};

// The session taps the application's processes, muted where they would play
// and private, into an aggregate device led by the output device, and runs it.
TEST(TapSession, TapsTheProcessesIntoARunningAggregateDevice) {
    Rig rig(1);
    const TapSession session = rig.start(0.25f);

    const auto [tap, description] = *rig.sim.taps().begin();
    EXPECT_EQ(description.processes, rig.processes);
    EXPECT_EQ(description.muteBehavior, TapMuteBehavior::mutedWhenTapped);
    EXPECT_TRUE(description.isPrivate);

    const PlistValue::Dict aggregate = rig.sim.aggregateDevices().at(rig.aggregate());
    EXPECT_EQ(aggregate.at("master"), PlistValue(kUID));
    EXPECT_EQ(aggregate.at("private"), PlistValue(true));
    EXPECT_EQ(aggregate.at("tapautostart"), PlistValue(true));
    EXPECT_EQ(aggregate.at("subdevices"), PlistValue(PlistValue::List{PlistValue::Dict{{"uid", kUID}}}));
    EXPECT_EQ(aggregate.at("taps"),
              PlistValue(PlistValue::List{
                  PlistValue::Dict{{"drift", true}, {"uid", description.uuid}}}));
    const auto proc = rig.sim.ioProcs().at(0);
    EXPECT_EQ(proc.device, rig.aggregate());
    EXPECT_TRUE(proc.running);
}

TEST(TapSession, TwoSessionsHaveTheirOwnUuids) {
    Rig rig;
    const TapSession first = rig.start(), second = rig.start();
    std::vector<std::string> uuids;
    for (const auto& [id, tap] : rig.sim.taps()) {
        uuids.push_back('"' + tap.uuid + '"');
    }
    for (const auto& [id, description] : rig.sim.aggregateDevices()) {
        uuids.push_back(describe(description.at("uid")));
    }
    std::sort(uuids.begin(), uuids.end());
    EXPECT_EQ(std::unique(uuids.begin(), uuids.end()) - uuids.begin(), 4);
}

// Each failed step throws its error, and what was made before it is torn down.
TEST(TapSession, AFailedStepTearsDownWhatExistsAndThrowsItsError) {
    using enum SimulatedAudioSystem::Call;
    const struct {
        std::optional<Failure> failure;  // none: IO proc creation succeeds without an id
        std::string message;
    } cases[] = {
        {Failure{createProcessTap, kAudioParamError}, "Couldn't create tap (error -50)"},
        {Failure{createAggregateDevice, kAudioHardwareIllegalOperationError},
         "Couldn't create aggregate device (error 1852797029)"},
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
}

TEST(TapSession, StopTearsDownInReverseOrderOnceAndEndOfLifeStops) {
    using enum SimulatedAudioSystem::Call;
    const std::vector<Call> teardown{deviceStop, destroyIOProcID, destroyAggregateDevice,
                                     destroyProcessTap};
    Rig rig(1);
    {
        const TapSession ended = rig.start();  // ends at the close of this block
        rig.sim.clearLog();
    }
    EXPECT_EQ(rig.calls(), teardown);

    TapSession session = rig.start();
    const AudioObjectID aggregate = rig.aggregate(), tap = rig.sim.taps().begin()->first;
    // Failing teardown calls do not stop the rest.
    rig.sim.injectFailure({deviceStop, kAudioHardwareUnspecifiedError});
    rig.sim.injectFailure({destroyIOProcID, kAudioHardwareUnspecifiedError});
    rig.sim.clearLog();
    session.stop();
    EXPECT_EQ(rig.calls(), teardown);
    for (const auto& record : rig.sim.log()) {
        EXPECT_EQ(record.object, record.call == destroyProcessTap ? tap : aggregate);
    }
    EXPECT_FALSE(rig.sim.hasLeftovers());
    rig.sim.clearLog();
    session.stop();
    EXPECT_TRUE(rig.sim.log().empty());
}

// Passes every call through, but can announce another size for the stream
// usage record than the one it holds, and can throw after starting the device.
class Interposer final : public AudioHardware {
public:
    Interposer(SimulatedAudioSystem& sim, std::optional<std::uint32_t> usageSize, bool throws)
        : sim_(sim), usageSize_(usageSize), throws_(throws) {}

    OSStatus getPropertyDataSize(AudioObjectID o, const AudioObjectPropertyAddress& a,
                                 std::uint32_t qs, const void* q, std::uint32_t* size) override {
        const OSStatus status = sim_.getPropertyDataSize(o, a, qs, q, size);
        if (status == kAudioNoError && usageSize_ && a.mSelector == kIOProcStreamUsage) {
            *size = *usageSize_;
        }
        return status;
    }
    OSStatus deviceStart(AudioObjectID device, AudioDeviceIOProcID proc) override {
        const OSStatus status = sim_.deviceStart(device, proc);
        return throws_ ? throw std::bad_alloc() : status;
    }
    OSStatus getPropertyData(AudioObjectID o, const AudioObjectPropertyAddress& a, std::uint32_t qs,
                             const void* q, std::uint32_t* size, void* data) override {
        return sim_.getPropertyData(o, a, qs, q, size, data);
    }
    OSStatus setPropertyData(AudioObjectID o, const AudioObjectPropertyAddress& a, std::uint32_t qs,
                             const void* q, std::uint32_t size, const void* data) override {
        return sim_.setPropertyData(o, a, qs, q, size, data);
    }
    OSStatus createProcessTap(const TapDescription& d, AudioObjectID* tap) override {
        return sim_.createProcessTap(d, tap);
    }
    OSStatus destroyProcessTap(AudioObjectID tap) override { return sim_.destroyProcessTap(tap); }
    OSStatus createAggregateDevice(const PlistValue::Dict& d, AudioObjectID* device) override {
        return sim_.createAggregateDevice(d, device);
    }
    OSStatus destroyAggregateDevice(AudioObjectID d) override {
        return sim_.destroyAggregateDevice(d);
    }
    OSStatus createIOProcIDWithBlock(AudioDeviceIOProcID* proc, AudioObjectID device,
                                     DispatchQueue queue, AudioDeviceIOBlock block) override {
        return sim_.createIOProcIDWithBlock(proc, device, queue, std::move(block));
    }
    OSStatus destroyIOProcID(AudioObjectID d, AudioDeviceIOProcID proc) override {
        return sim_.destroyIOProcID(d, proc);
    }
    OSStatus deviceStop(AudioObjectID d, AudioDeviceIOProcID proc) override {
        return sim_.deviceStop(d, proc);
    }
    OSStatus addPropertyListenerBlock(AudioObjectID o, const AudioObjectPropertyAddress& a,
                                      DispatchQueue queue, AudioObjectPropertyListenerBlock block,
                                      AudioObjectPropertyListenerID* listener) override {
        return sim_.addPropertyListenerBlock(o, a, queue, std::move(block), listener);
    }
    OSStatus removePropertyListenerBlock(AudioObjectID o, const AudioObjectPropertyAddress& a,
                                         DispatchQueue queue,
                                         AudioObjectPropertyListenerID listener) override {
        return sim_.removePropertyListenerBlock(o, a, queue, listener);
    }

private:
    SimulatedAudioSystem& sim_;
    std::optional<std::uint32_t> usageSize_;
    bool throws_;
};

struct UsageCase {
    const char* what;
    std::uint32_t deviceInputs;
    std::optional<Failure> failure;
    std::optional<std::uint32_t> announcedSize;
    std::size_t usageCalls;            // on 'suse': size query, read, write
    std::vector<std::uint32_t> flags;  // as written for the IO proc; empty if never
};

// The output device's own inputs are switched off for the IO proc, best effort:
// whatever fails there, the session starts.
TEST(TapSession, SwitchesTheOutputDevicesOwnInputsOff) {
    using enum SimulatedAudioSystem::Call;
    const UsageCase cases[] = {
        {"no input streams", 0, std::nullopt, std::nullopt, 0, {}},
        {"one input stream", 1, std::nullopt, std::nullopt, 3, {0, 1}},
        {"three input streams", 3, std::nullopt, std::nullopt, 3, {0, 0, 0, 1}},
        {"stream list unreadable: none",
         2,
         Failure{getPropertyData, -1, kDeviceStreams},
         std::nullopt,
         0,
         {}},
        {"size query fails",
         1,
         Failure{getPropertyDataSize, -1, kIOProcStreamUsage},
         std::nullopt,
         1,
         {}},
        {"size below one flag", 1, std::nullopt, 12u, 1, {}},
        {"read fails", 1, Failure{getPropertyData, -1, kIOProcStreamUsage}, std::nullopt, 2, {}},
        {"write fails", 1, Failure{setPropertyData, -1, kIOProcStreamUsage}, std::nullopt, 3, {}},
        // Four streams reported into a buffer sized for one: nothing is written
        // past the buffer, and the stale record is not sent back.
        {"more streams than the buffer holds",
         3,
         std::nullopt,
         std::uint32_t{StreamUsage::sizeFor(1)},
         2,
         {}},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(c.deviceInputs);
        if (c.failure) {
            rig.sim.injectFailure(*c.failure);
        }
        Interposer hardware(rig.sim, c.announcedSize, false);
        const auto session = rig.startOn(hardware);
        const auto log = rig.sim.log();
        EXPECT_EQ(
            std::count_if(log.begin(), log.end(),
                          [](const auto& r) { return r.address.mSelector == kIOProcStreamUsage; }),
            c.usageCalls);
        const auto proc = rig.sim.ioProcs().at(0);
        EXPECT_TRUE(proc.running);
        EXPECT_EQ(rig.sim.streamUsage(proc.device, proc.id), c.flags);
    }

    // An exception on the way tears down as a failed step does.
    Rig rig;
    Interposer throwing(rig.sim, std::nullopt, true);
    EXPECT_THROW(rig.startOn(throwing), std::bad_alloc);
    EXPECT_FALSE(rig.sim.hasLeftovers());
}

TEST(TapSession, PlaysTheTapAtItsGainSkippingTheDevicesOwnInputs) {
    Rig rig(1);
    TapSession session = rig.start(0.25f);
    testing::Buffers input({testing::filled(1, 512, 7.0f), testing::filled(2, 512, 1.0f)});
    testing::Buffers output({testing::filled(2, 512, 9.0f)});
    const auto cycle = [&] {
        return rig.sim.runIOCycle(rig.aggregate(), input.list(), output.list());
    };

    ASSERT_EQ(cycle(), 1);  // at the constructor's gain from the first frame on
    EXPECT_EQ(output.samples(0), std::vector<float>(1024, 0.25f));
    session.gain().setValue(0.5f);  // the block ramps to it over one cycle
    cycle();
    cycle();
    EXPECT_EQ(output.samples(0), std::vector<float>(1024, 0.5f));
    session.stop();
    EXPECT_EQ(cycle(), 0);
}

}  // namespace
}  // namespace morvale
