#include "platform/sim/SimulatedAudioSystem.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/FourCC.h"
#include "platform/StreamUsage.h"

namespace morvale::sim {
namespace {

using Call = SimulatedAudioSystem::Call;

TEST(SimulatedAudioSystem, StreamUsageListsTheMainDeviceInputsThenTheTap) {
    SimulatedAudioSystem sim;
    sim.addOutputDevice("speakers", 2);
    TapDescription tapDescription = TapDescription::stereoMixdown({});
    tapDescription.uuid = "TAP-1";
    AudioObjectID tap = 0, aggregate = 0;
    AudioDeviceIOProcID proc = nullptr;
    ASSERT_EQ(sim.createProcessTap(tapDescription, &tap), 0);
    const PlistValue::Dict description{
        {"master", "speakers"}, {"taps", PlistValue::List{PlistValue::Dict{{"uid", "TAP-1"}}}}};
    ASSERT_EQ(sim.createAggregateDevice(description, &aggregate), 0);
    ASSERT_EQ(sim.createIOProcIDWithBlock(&proc, aggregate, nullptr,
                                          [](auto*, auto*, auto*, auto*, auto*) {}),
              0);
    const auto address = AudioObjectPropertyAddress{kIOProcStreamUsage, kScopeInput, 0};
    std::uint32_t size = 0;
    ASSERT_EQ(sim.getPropertyDataSize(aggregate, address, 0, nullptr, &size), 0);
    EXPECT_EQ(size, streamusage::sizeFor(3));

    std::vector<unsigned char> record(size, 0);
    streamusage::setProc(record.data(), proc);
    ASSERT_EQ(sim.getPropertyData(aggregate, address, 0, nullptr, &size, record.data()), 0);
    EXPECT_EQ(streamusage::count(record.data()), 3u);
    EXPECT_EQ(streamusage::flag(record.data(), 0), 1u);

    streamusage::setFlag(record.data(), 0, 0);
    ASSERT_EQ(sim.setPropertyData(aggregate, address, 0, nullptr, size, record.data()), 0);
    EXPECT_EQ(sim.streamUsage(aggregate, proc), (std::vector<std::uint32_t>{0, 1, 1}));

    // A record naming an IO proc that is not registered on the device is refused.
    streamusage::setProc(record.data(), nullptr);
    EXPECT_NE(sim.getPropertyData(aggregate, address, 0, nullptr, &size, record.data()), 0);
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

}  // namespace
}  // namespace morvale::sim
