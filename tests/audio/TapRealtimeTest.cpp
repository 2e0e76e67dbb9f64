// SPDX-License-Identifier: GPL-3.0-or-later
// A tap session whose IO block runs on a real thread while the main thread
// changes its gain and finally stops it. Run under ThreadSanitizer in CI.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "audio/TapSession.h"
#include "platform/sim/SimIOThread.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale {
namespace {

using namespace std::chrono_literals;
using sim::SimIOThread;
using sim::SimulatedAudioSystem;

constexpr auto kPatience = 10s;  // generous: sanitizers and busy machines are slow

TEST(TapSessionRealtime, GainChangesReachTheIOThreadAndStopEndsIt) {
    SimulatedAudioSystem sim;
    const AudioObjectID device = sim.addOutputDevice("speakers", 1);
    const AudioObjectID process = sim.addProcess(42, "com.example.player", true);
    TapSession session(sim, {process}, device, "speakers", 1.0f);
    const AudioObjectID aggregate = sim.aggregateDevices().begin()->first;

    // The microphone's buffer (skipped), then the tap's stereo signal of ones,
    // so every output sample is the gain of its frame.
    SimIOThread io(sim, aggregate, {{{1, 7.0f}, {2, 1.0f}}, {2}, 256, 50us});
    ASSERT_TRUE(io.waitForCycles(1, kPatience));

    // Store gains without pause while the IO thread runs cycles; polling the
    // cycle count takes no lock, so nothing orders these stores before its loads.
    const std::uint64_t until = io.cycles() + 50;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (int i = 0; io.cycles() < until; ++i) {
        session.setGain(static_cast<float>(i % 20) / 20.0f);
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    }

    // A cycle under way may still hold the old gain and the next one ramps
    // from it; the one after that plays the new gain throughout.
    session.setGain(0.25f);
    ASSERT_TRUE(io.waitForCycles(io.cycles() + 3, kPatience));
    EXPECT_EQ(io.lastOutput(), std::vector<float>(2 * 256, 0.25f));

    session.stop();
    const std::uint64_t cycles = io.cycles();
    ASSERT_TRUE(io.waitForPasses(io.passes() + 3, kPatience));
    EXPECT_EQ(io.cycles(), cycles);
    EXPECT_FALSE(sim.hasLeftovers());
}

}  // namespace
}  // namespace morvale
