#include "audio/CA.h"

#include <gtest/gtest.h>

#include "audio/AudioError.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale {
namespace {

using sim::SimulatedAudioSystem;
using Call = SimulatedAudioSystem::Call;

TEST(CA, IdsReadsTheListAndKeepsTheAnnouncedLengthOnAShortRead) {
    SimulatedAudioSystem sim;
    const AudioObjectID a = sim.addProcess(10, std::nullopt);
    const AudioObjectID b = sim.addProcess(11, std::nullopt);
    EXPECT_EQ(CA::ids(sim, kAudioObjectSystemObject, kProcessObjectList),
              (std::vector<AudioObjectID>{a, b}));

    // The size query announces 12 bytes, the read returns 8: three elements, the last 0.
    sim.setShortRead(kAudioObjectSystemObject, kProcessObjectList, 4);
    EXPECT_EQ(CA::ids(sim, kAudioObjectSystemObject, kProcessObjectList),
              (std::vector<AudioObjectID>{a, b, 0}));

    // An announced 11 bytes holds two whole ids: the read is offered 8, never 11.
    sim.clearLog();
    sim.setShortRead(kAudioObjectSystemObject, kProcessObjectList, 3);
    EXPECT_EQ(CA::ids(sim, kAudioObjectSystemObject, kProcessObjectList),
              (std::vector<AudioObjectID>{a, b}));
    EXPECT_EQ(sim.log().back().dataSize, 8u);
}

TEST(CA, IdsIsEmptyWithoutReadingWhenThereIsNothingToRead) {
    struct Case {
        const char* what;
        std::optional<SimulatedAudioSystem::Failure> failure;
        std::uint32_t extraBytes;  // announced size when the list is empty
        bool reads;
    };
    const Case cases[] = {
        {"size query fails", SimulatedAudioSystem::Failure{Call::getPropertyDataSize, -1}, 0, false},
        {"size 0", std::nullopt, 0, false},
        {"size below one id", std::nullopt, 3, false},
        {"read fails", SimulatedAudioSystem::Failure{Call::getPropertyData, kAudioHardwareIllegalOperationError}, 8, true},
    };
    for (const Case& c : cases) {
        SimulatedAudioSystem sim;
        sim.setShortRead(kAudioObjectSystemObject, kProcessObjectList, c.extraBytes);
        if (c.failure) {
            sim.injectFailure(*c.failure);
        }
        EXPECT_TRUE(CA::ids(sim, kAudioObjectSystemObject, kProcessObjectList).empty()) << c.what;
        bool read = false;
        for (const auto& record : sim.log()) {
            read = read || record.call == Call::getPropertyData;
        }
        EXPECT_EQ(read, c.reads) << c.what;
    }
}

TEST(CA, IdsPassesTheScope) {
    SimulatedAudioSystem sim;
    const AudioObjectID device = sim.addOutputDevice("headset", 2);
    EXPECT_EQ(CA::ids(sim, device, kDeviceStreams, kScopeInput).size(), 2u);
    EXPECT_TRUE(CA::ids(sim, device, kDeviceStreams).empty());
    EXPECT_EQ(sim.log().front().address, (AudioObjectPropertyAddress{kDeviceStreams, kScopeInput, 0}));
}

TEST(CA, GetReturnsTheValueOrTheDefault) {
    SimulatedAudioSystem sim;
    const AudioObjectID process = sim.addProcess(77, std::nullopt, true);
    EXPECT_EQ(CA::get<std::int32_t>(sim, process, kProcessPID, -1), 77);
    EXPECT_EQ(CA::get<std::uint32_t>(sim, process, kProcessIsRunningOutput, 0), 1u);
    EXPECT_EQ(CA::get<std::int32_t>(sim, 999, kProcessPID, -1), -1);  // no such object

    sim.injectFailure({Call::getPropertyData, -50, kProcessPID});
    EXPECT_EQ(CA::get<std::int32_t>(sim, process, kProcessPID, -1), -1);
}

TEST(CA, StringIsAbsentOnlyWhenItCannotBeRead) {
    SimulatedAudioSystem sim;
    const AudioObjectID named = sim.addOutputDevice("speakers");
    const AudioObjectID blank = sim.addOutputDevice("");
    const AudioObjectID nameless = sim.addProcess(5, std::nullopt);
    EXPECT_EQ(CA::string(sim, named, kDeviceUID), "speakers");
    EXPECT_EQ(CA::string(sim, blank, kDeviceUID), "");
    EXPECT_EQ(CA::string(sim, nameless, kProcessBundleID), std::nullopt);
    EXPECT_EQ(CA::string(sim, kAudioObjectUnknown, kDeviceUID), std::nullopt);
}

TEST(CA, DefaultOutputDeviceIsZeroWhenThereIsNone) {
    SimulatedAudioSystem sim;
    EXPECT_EQ(CA::defaultOutputDevice(sim), kAudioObjectUnknown);

    const AudioObjectID device = sim.addOutputDevice("speakers");
    sim.setDefaultOutputDevice(device);
    EXPECT_EQ(CA::defaultOutputDevice(sim), device);
    sim.injectFailure({Call::getPropertyData, kAudioHardwareUnknownPropertyError, kDefaultOutputDevice});
    EXPECT_EQ(CA::defaultOutputDevice(sim), kAudioObjectUnknown);
}

TEST(AsError, NamesTheStepAndKeepsTheSignedStatus) {
    struct Case {
        OSStatus status;
        const char* step;
        const char* text;
    };
    // TapSession's failure cases cover the ordinary statuses through the session.
    const Case cases[] = {
        {kAudioHardwareBadDeviceError, "start audio", "Couldn't start audio (error 560227702)"},
        {INT32_MIN, "create aggregate device",
         "Couldn't create aggregate device (error -2147483648)"},
    };
    for (const Case& c : cases) {
        const MorvaleError error = asError(c.status, c.step);
        EXPECT_EQ(error.domain(), "Morvale");
        EXPECT_EQ(error.code(), c.status);
        EXPECT_EQ(error.localizedDescription(), c.text);
        EXPECT_EQ(error.userInfo().size(), 1u);
        EXPECT_STREQ(error.what(), c.text);
    }
}

}  // namespace
}  // namespace morvale
