#include "platform/sim/SimulatedAudioSystem.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/FourCC.h"
#include "platform/PropertyString.h"
#include "platform/StreamUsage.h"

namespace morvale::sim {
namespace {

using Call = SimulatedAudioSystem::Call;

PlistValue::Dict aggregateOn(const std::string& masterUID, const std::string& tapUUID) {
    return PlistValue::Dict{
        {"master", masterUID},
        {"taps", PlistValue::List{PlistValue::Dict{{"uid", tapUUID}}}},
    };
}

// Builds a device holding a tap and one registered IO proc.
struct Rig {
    SimulatedAudioSystem sim;
    AudioObjectID output = 0;
    AudioObjectID tap = 0;
    AudioObjectID aggregate = 0;
    AudioDeviceIOProcID proc = nullptr;
    int calls = 0;

    explicit Rig(std::uint32_t outputInputs) {
        output = sim.addOutputDevice("speakers", outputInputs);
        TapDescription d = TapDescription::stereoMixdown({});
        d.uuid = "TAP-1";
        EXPECT_EQ(sim.createProcessTap(d, &tap), 0);
        EXPECT_EQ(sim.createAggregateDevice(aggregateOn("speakers", "TAP-1"), &aggregate), 0);
        EXPECT_EQ(sim.createIOProcIDWithBlock(
                      &proc, aggregate, nullptr,
                      [this](auto*, auto*, auto*, auto*, auto*) { ++calls; }),
                  0);
    }
};

TEST(SimulatedAudioSystem, StreamUsageListsTheMainDeviceInputsThenTheTap) {
    Rig rig(2);
    const auto address = AudioObjectPropertyAddress{kIOProcStreamUsage, kScopeInput, 0};
    std::uint32_t size = 0;
    ASSERT_EQ(rig.sim.getPropertyDataSize(rig.aggregate, address, 0, nullptr, &size), 0);
    EXPECT_EQ(size, streamusage::sizeFor(3));

    std::vector<unsigned char> record(size, 0);
    streamusage::setProc(record.data(), rig.proc);
    ASSERT_EQ(rig.sim.getPropertyData(rig.aggregate, address, 0, nullptr, &size, record.data()), 0);
    EXPECT_EQ(streamusage::count(record.data()), 3u);
    EXPECT_EQ(streamusage::flag(record.data(), 0), 1u);

    streamusage::setFlag(record.data(), 0, 0);
    ASSERT_EQ(rig.sim.setPropertyData(rig.aggregate, address, 0, nullptr, size, record.data()), 0);
    EXPECT_EQ(rig.sim.streamUsage(rig.aggregate, rig.proc), (std::vector<std::uint32_t>{0, 1, 1}));

    // A record naming an IO proc that is not registered on the device is refused.
    streamusage::setProc(record.data(), nullptr);
    EXPECT_NE(rig.sim.getPropertyData(rig.aggregate, address, 0, nullptr, &size, record.data()), 0);
}

TEST(SimulatedAudioSystem, IOCyclesRunOnlyStartedProcsAndStopWithTheDevice) {
    Rig rig(0);
    AudioBufferList none{0, nullptr};
    EXPECT_EQ(rig.sim.runIOCycle(rig.aggregate, none, none), 0);
    ASSERT_EQ(rig.sim.deviceStart(rig.aggregate, rig.proc), 0);
    EXPECT_EQ(rig.sim.runIOCycle(rig.aggregate, none, none), 1);
    ASSERT_EQ(rig.sim.deviceStop(rig.aggregate, rig.proc), 0);
    EXPECT_EQ(rig.sim.runIOCycle(rig.aggregate, none, none), 0);
    EXPECT_EQ(rig.calls, 1);

    ASSERT_EQ(rig.sim.destroyAggregateDevice(rig.aggregate), 0);
    EXPECT_TRUE(rig.sim.ioProcs().empty());  // the IO proc went with its device
    ASSERT_EQ(rig.sim.destroyProcessTap(rig.tap), 0);
    EXPECT_FALSE(rig.sim.hasLeftovers());
}

TEST(SimulatedAudioSystem, InjectedFailuresMatchCallSelectorAndCount) {
    SimulatedAudioSystem sim;
    const AudioObjectID process = sim.addProcess(10, "org.example.player");
    sim.injectFailure({Call::getPropertyData, -50, kProcessPID, std::nullopt, 1});

    std::int32_t pid = 0;
    std::uint32_t size = sizeof pid;
    const auto ppid = AudioObjectPropertyAddress{kProcessPID, kScopeGlobal, 0};
    EXPECT_EQ(sim.getPropertyData(process, ppid, 0, nullptr, &size, &pid), -50);
    EXPECT_EQ(sim.getPropertyData(process, ppid, 0, nullptr, &size, &pid), 0);
    EXPECT_EQ(pid, 10);

    std::uint32_t playing = 7;
    size = sizeof playing;
    const auto piro = AudioObjectPropertyAddress{kProcessIsRunningOutput, kScopeGlobal, 0};
    EXPECT_EQ(sim.getPropertyData(process, piro, 0, nullptr, &size, &playing), 0);
    EXPECT_EQ(playing, 0u);

    const auto log = sim.logText();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "getPropertyData(" + std::to_string(process) + ", 'ppid' 'glob' 0, 4) -> -50");
}

TEST(SimulatedAudioSystem, StringPropertiesAreHandedOverAsReferences) {
    SimulatedAudioSystem sim;
    const AudioObjectID device = sim.addOutputDevice("usb-headset");
    StringRef ref = nullptr;
    std::uint32_t size = sizeof ref;
    const auto uid = AudioObjectPropertyAddress{kDeviceUID, kScopeGlobal, 0};
    ASSERT_EQ(sim.getPropertyData(device, uid, 0, nullptr, &size, &ref), 0);
    const OwnedStringRef owned(ref);
    EXPECT_EQ(stringRefValue(owned.get()), "usb-headset");
}

}  // namespace
}  // namespace morvale::sim
