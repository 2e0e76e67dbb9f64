// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/CA.h"

#include <gtest/gtest.h>

#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale {
namespace {

using sim::SimulatedAudioSystem;
using Call = SimulatedAudioSystem::Call;

// The object-list reader over the ways a list read can go: a short read keeps
// the announced length, a partial id is never asked for, and nothing is read
// when there is nothing to read.
TEST(CA, IdsReadsWhatTheListHolds) {
    using Failure = SimulatedAudioSystem::Failure;
    const struct {
        const char* what;
        std::optional<std::uint32_t> extraBytes;  // announced beyond what is read
        std::optional<Failure> failure;
        std::size_t processes;
        std::vector<std::size_t> expected;  // indices into the processes; 2 means id 0
        std::optional<std::uint32_t> readSize;  // offered to the read; none: no read
    } cases[] = {
        {"the whole list", std::nullopt, std::nullopt, 2, {0, 1}, 8},
        {"short read: the announced length, the rest 0", 4, std::nullopt, 2, {0, 1, 2}, 12},
        {"announced 11 bytes: two whole ids", 3, std::nullopt, 2, {0, 1}, 8},
        {"size query fails", std::nullopt, Failure{Call::getPropertyDataSize, -1}, 2, {}, {}},
        {"size 0", std::nullopt, std::nullopt, 0, {}, {}},
        {"size below one id", 3, std::nullopt, 0, {}, {}},
        {"read fails", 8, Failure{Call::getPropertyData, kAudioHardwareIllegalOperationError}, 0,
         {}, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedAudioSystem sim;
        sim.setCallLogging(true);
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
        std::optional<std::uint32_t> readSize;
        for (const auto& record : sim.log()) {
            if (record.call == Call::getPropertyData) {
                readSize = record.dataSize;
            }
        }
        EXPECT_EQ(readSize, c.readSize);
    }
}

}  // namespace
}  // namespace morvale
