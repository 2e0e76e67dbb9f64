// SPDX-License-Identifier: GPL-3.0-or-later
// A slider drag through the whole model while the sound server is stopped
// (SIGSTOP): every step returns to the main loop at once, and once the
// server runs again the application plays at the last value.
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ModelOnServer.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class StoppedServer : public ModelOnServer {
protected:
    StoppedServer() : ModelOnServer({}, /*withWorker=*/true) {}
};

TEST_F(StoppedServer, EveryStepOfADragReturnsAtOnceAndTheLastValuePlaysAfterwards) {
    Recorder recorder(server.address(), "speakers.monitor");
    auto music = player({"--amplitude=0.2"});
    ASSERT_TRUE(until([&] { return rowOf(music->pid()) != nullptr; }));
    const std::string key = rowOf(music->pid())->id;
    const double direct = settledLevel(recorder);
    ASSERT_GT(direct, 0.1);

    ::kill(server.pid(), SIGSTOP);
    Clock::duration worst{};
    double last = 1.0;
    for (int step = 0; step < 20; ++step) {
        last = 0.95 - 0.025 * step;  // down to 0.475, a gain of 0.226
        const auto start = Clock::now();
        model->setVolume(key, last);
        turn();
        worst = std::max(worst, Clock::now() - start);
        std::this_thread::sleep_for(20ms);  // the pace of a drag
    }
    ::kill(server.pid(), SIGCONT);
    const auto worstMs = std::chrono::duration_cast<std::chrono::microseconds>(worst).count();
    std::printf("worst step of a 20-step drag against a stopped server: %.1f ms\n",
                static_cast<double>(worstMs) / 1000.0);
    EXPECT_LT(worst, 50ms);

    // The server answers again: the session starts (again, if its first
    // start timed out) and plays the last value.
    EXPECT_TRUE(until(
        [&] {
            const double level = recorder.level(200ms);
            return std::abs(level / direct - static_cast<double>(Model::gain(last))) < 0.02;
        },
        4s))
        << "level " << recorder.level(200ms) / direct << " of " << Model::gain(last);
}

}  // namespace
}  // namespace morvale::pulse::testing
