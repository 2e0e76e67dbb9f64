// SPDX-License-Identifier: GPL-3.0-or-later
// A change of the default output takes a lowered (or muted) application
// along in one step: it is heard at its own level on the old output until
// the move and on the new one after it, never louder, and the sound stops
// for no longer than when the server moves a plain stream.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "TapFixture.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;

constexpr int kWindowMs = 10;

// Both outputs recorded from one moment on, in windows of 10 ms (which line
// up within a recorder's fragment): how long both together played below half
// of `expected`, and the loudest window on either.
struct BothOutputs {
    BothOutputs(Recorder& first, Recorder& second)
        : a(first), b(second), fromA(first.samples().size()), fromB(second.samples().size()) {}

    std::pair<int, double> quietMsAndLoudest(double expected) const {
        const auto onA = a.levels(fromA, kWindowMs), onB = b.levels(fromB, kWindowMs);
        int quiet = 0;
        double loudest = 0;
        for (std::size_t i = 0; i < std::min(onA.size(), onB.size()); ++i) {
            quiet += std::hypot(onA[i], onB[i]) < expected / 2 ? kWindowMs : 0;
            loudest = std::max({loudest, onA[i], onB[i]});
        }
        return {quiet, loudest};
    }

    Recorder& a;
    Recorder& b;
    std::size_t fromA;
    std::size_t fromB;
};

using DefaultOutputMove = TapFixture;

TEST_F(DefaultOutputMove, ALoweredOrMutedApplicationMovesInOneStepAtItsLevel) {
    auto song = paplay(0.5);
    // A recording of the default output's monitor follows the default; with
    // a source of their own choosing as the default, the recorders stay on
    // PulseAudio. PipeWire's session manager moves them all the same, so
    // there both hear the new default after the change.
    server.pactl("set-default-source headphones.monitor");
    const bool recordersStay = !PulseServer::onPipeWire();
    Recorder speakers(server.address(), "speakers.monitor");
    Recorder headphones(server.address(), "headphones.monitor");
    auto hw = connect();
    ASSERT_TRUE(eventually([&] { return server.sinkOfClientPid(song->pid()) == "speakers"; }));
    const double direct = settledLevel(speakers);
    ASSERT_GT(direct, 0.2);

    // What a move costs the server on its own: a plain stream, away and back.
    const auto movePlain = [&](const std::string& to) {
        const BothOutputs both(speakers, headphones);
        EXPECT_TRUE(server.moveStreamOfClientPid(song->pid(), to));
        std::this_thread::sleep_for(600ms);
        return both.quietMsAndLoudest(direct).first;
    };
    const int away = movePlain("headphones");
    const int plainMs = std::max(away, movePlain("speakers"));

    struct Case {
        const char* name;
        double gain;
        const char* to;
    };
    for (const Case& c : {Case{"lowered", 0.25, "headphones"}, Case{"muted", 0.0, "speakers"}}) {
        SCOPED_TRACE(c.name);
        auto session = tap(*hw, song->pid(), static_cast<float>(c.gain));
        ASSERT_TRUE(eventually([&] { return tapped(song->pid()); }));
        Recorder& there = std::string(c.to) == "speakers" ? speakers : headphones;
        Recorder& here = &there == &speakers ? headphones : speakers;
        const double expected = c.gain * direct;
        ASSERT_TRUE(
            eventually([&] { return std::abs(here.level(200ms) - expected) < 0.03 * direct; }));

        const BothOutputs both(speakers, headphones);
        const AudioObjectID before = CA::defaultOutputDevice(*hw);
        const auto changed = std::chrono::steady_clock::now();
        server.pactl(std::string("set-default-sink ") + c.to);
        // What the model does when the default output changes: the session
        // moves to it, or where it cannot, a new one is made there.
        ASSERT_TRUE(eventually([&] { return CA::defaultOutputDevice(*hw) != before; }));
        const AudioObjectID device = CA::defaultOutputDevice(*hw);
        if (!session->setOutputDevice(device, c.to)) {
            session = tap(*hw, song->pid(), static_cast<float>(c.gain));
        }
        // Our process's only playback stream is the replay.
        const bool arrived = eventually(
            [&] {
                return server.sinkOfClientPid(::getpid()) == c.to &&
                       std::abs(there.level(50ms) - expected) < 0.03 * direct &&
                       (!recordersStay || here.level(50ms) < 0.01 * direct);
            },
            2s);
        const auto tookMs = msSince(changed);
        std::this_thread::sleep_for(300ms);

        const auto [quiet, loudest] = both.quietMsAndLoudest(expected);  // none when muted
        std::printf(
            "%s: moved after %lld ms, loudest %.3f of its own level %.3f, quiet %d ms "
            "(a plain move: %d ms)\n",
            c.name, static_cast<long long>(tookMs), loudest / direct, c.gain, quiet, plainMs);
        EXPECT_TRUE(arrived);
        EXPECT_LT(tookMs, 500);
        EXPECT_LE(loudest, expected * 1.2 + 0.01 * direct);
        // PipeWire's server makes the replay anew on the new output rather
        // than moving it, which costs a few of its periods.
        EXPECT_LE(quiet, plainMs + (recordersStay ? 30 : 60));
        EXPECT_TRUE(tapped(song->pid()));
    }
}

}  // namespace
}  // namespace morvale::pulse::testing
