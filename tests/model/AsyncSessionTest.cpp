// SPDX-License-Identifier: GPL-3.0-or-later
// The worker that runs session jobs off the GUI thread, and the model's
// operations against a sound server that does not answer: they return at once
// on the GUI thread, and what they asked for applies when the server answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/GatedAudioSystem.h"
#include "model/ModelFixture.h"
#include "model/SessionWorker.h"

namespace morvale::testing {
namespace {

using namespace std::chrono_literals;
using Call = sim::SimulatedAudioSystem::Call;

constexpr const char* kPlayer = "org.example.Player";

enum class Kind { tap, gainStage };

// Runs what the GUI thread does and tells whether it returned by itself. A
// call that waits at the closed gate is let through after a generous guard
// time, so that such a fault fails the test instead of hanging it.
bool returnsWhileHeld(GatedAudioSystem& gate, const std::function<void()>& gui) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool rescued = false;
    std::jthread guard([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, 10s, [&] { return done; })) {
            rescued = true;
            lock.unlock();
            gate.open();
        }
    });
    gui();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_all();
    guard.join();
    return !rescued;
}

class AsyncSessions : public ::testing::TestWithParam<Kind> {
protected:
    ModelFixture f;  // its services, over the gated audio system
    GatedAudioSystem audio;
    SessionWorker worker{f.sim.mainQueue};
    std::unique_ptr<Model> model;

    AsyncSessions() {
        audio.setGainStages(staged());
        audio.setDefaultOutputDevice(audio.addOutputDevice("speakers"));
        f.sim.processes.applications[10] = RunningApplication{"Player", ActivationPolicy::regular};
        audio.addProcess(10, kPlayer, true);
        auto& s = f.sim;
        model = ModelTesting::make(Platform{audio, s.processes, s.processes, s.workspace,
                                            s.collator, s.settings, s.loginItem, s.mainQueue,
                                            s.timers, s.termination, s.grouping},
                                   worker);
    }
    ~AsyncSessions() override {
        audio.open();
        model.reset();
    }

    static bool staged() { return GetParam() == Kind::gainStage; }
    static Call made() { return staged() ? Call::createGainStage : Call::createProcessTap; }

    // Every job run and every result handed to the main thread.
    void settle() {
        do {
            worker.drain();
        } while (f.sim.mainQueue.drain() > 0);
    }

    std::size_t madeOnSystem() {
        return staged() ? audio.gainStages().size() : audio.taps().size();
    }
};

INSTANTIATE_TEST_SUITE_P(Kinds, AsyncSessions, ::testing::Values(Kind::tap, Kind::gainStage),
                         [](const ::testing::TestParamInfo<Kind>& param) {
                             return param.param == Kind::tap ? "Tap" : "GainStage";
                         });

// A drag, a mute and unmute, refreshes, a new default device and an output
// chosen for the application, all while the start of the session waits on
// the server: each returns, the steps coalesce instead of queueing one job
// each, and once the server answers the last value plays.
TEST_P(AsyncSessions, TheGuiNeverWaitsAndTheLastValueAppliesOnceTheServerAnswers) {
    audio.close();
    double last = 1.0;
    ASSERT_TRUE(returnsWhileHeld(audio, [&] {
        for (int step = 0; step < 20; ++step) {
            last = 0.9 - 0.04 * step;
            model->setVolume(kPlayer, last);
        }
        model->toggleMute(kPlayer);
        model->toggleMute(kPlayer);
        f.tick();
        audio.setDefaultOutputDevice(audio.addOutputDevice("headphones"));
        model->refresh();
        model->setOutput(kPlayer, "headphones");
        f.tick();
    }));
    ASSERT_TRUE(audio.awaitHeld(made()));
    EXPECT_FALSE(ModelTesting::sessionRunning(*model, kPlayer));
    // The start, one gain job, the routes, and for a tap one move to the
    // new device.
    EXPECT_LE(worker.pending(), 4u);

    audio.open();
    settle();
    EXPECT_TRUE(ModelTesting::sessionRunning(*model, kPlayer));
    EXPECT_EQ(f.outputLevel(*model, kPlayer), Model::gain(last));
    EXPECT_EQ(madeOnSystem(), 1u);
    ASSERT_EQ(audio.outputRoutes().size(), 1u);
    EXPECT_EQ(audio.outputRoutes().front().deviceUID, "headphones");
    if (staged()) {
        EXPECT_EQ(audio.gainStages().begin()->second.gain, Model::gain(last));
    } else {
        const auto devices = audio.aggregateDevices();
        const PlistValue& main = devices.begin()->second.at("master");
        ASSERT_TRUE(main.isString());
        EXPECT_EQ(*main.asString(), "headphones");
    }
}

// A start that fails once the server answers shows the same error as a
// start that fails at once, and the next refresh tries again.
TEST_P(AsyncSessions, AFailedStartReachesTheErrorLineWhenTheServerAnswers) {
    ModelFixture reference;
    reference.sim.audio.setGainStages(staged());
    reference.addClient(10, kPlayer, "Player", true);
    reference.sim.audio.injectFailure({made(), kAudioHardwareNotRunningError});
    const auto inlineModel = reference.makeModel();
    inlineModel->setVolume(kPlayer, 0.5);
    ASSERT_TRUE(inlineModel->errorText().has_value());

    audio.injectFailure({made(), kAudioHardwareNotRunningError});
    audio.close();
    ASSERT_TRUE(returnsWhileHeld(audio, [&] { model->setVolume(kPlayer, 0.5); }));
    EXPECT_FALSE(model->errorText().has_value());
    audio.open();
    settle();
    EXPECT_EQ(model->errorText(), inlineModel->errorText());
    EXPECT_EQ(f.sessionCount(*model), 0u);
    EXPECT_FALSE(audio.hasLeftovers());

    audio.clearFailures();
    f.tick();
    settle();
    EXPECT_TRUE(ModelTesting::sessionRunning(*model, kPlayer));
    EXPECT_FALSE(model->errorText().has_value());
}

// A row set back to full volume and lowered again before its first start
// ran: its end and its new start run in that order, and one session plays.
TEST_P(AsyncSessions, AnEndAndANewStartOfTheSameRowKeepTheirOrder) {
    audio.close();
    ASSERT_TRUE(returnsWhileHeld(audio, [&] {
        model->setVolume(kPlayer, 0.5);
        model->setVolume(kPlayer, 1.0);
        model->setVolume(kPlayer, 0.3);
    }));
    audio.open();
    settle();
    EXPECT_EQ(madeOnSystem(), 1u);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), Model::gain(0.3));
}

// Quitting ends every session before the model is gone, even while the
// server is slow to answer: nothing stays lowered.
TEST_P(AsyncSessions, DestroyingTheModelWaitsUntilEverySessionHasEnded) {
    model->setVolume(kPlayer, 0.5);
    settle();
    ASSERT_EQ(madeOnSystem(), 1u);
    audio.close();
    std::jthread server([&] {
        audio.awaitHeld(staged() ? Call::destroyGainStage : Call::deviceStop);
        audio.open();
    });
    model.reset();
    EXPECT_EQ(worker.pending(), 0u);
    EXPECT_FALSE(audio.hasLeftovers());
}

// Jobs run one after another in the order given, never on the thread that
// submitted them; their results wait for the main thread's queue, in the
// same order; drain returns only once every job so far has run.
TEST(SessionWorker, RunsJobsInOrderOffTheCallerAndHandsResultsToTheMainQueue) {
    sim::ManualMainQueue mainQueue;
    SessionWorker worker(mainQueue);
    std::mutex mutex;
    std::vector<std::string> ran;
    std::vector<std::thread::id> jobThreads;
    std::vector<std::thread::id> resultThreads;
    for (const char* name : {"start", "gain", "stop", "start again"}) {
        worker.submit([&, name] {
            {
                std::lock_guard lock(mutex);
                ran.emplace_back(name);
                jobThreads.push_back(std::this_thread::get_id());
            }
            return SessionExecutor::Result([&, name] {
                ran.push_back(std::string("result of ") + name);
                resultThreads.push_back(std::this_thread::get_id());
            });
        });
    }
    worker.submit([]() -> SessionExecutor::Result { return nullptr; });  // nothing to report

    worker.drain();
    EXPECT_EQ(worker.pending(), 0u);
    EXPECT_EQ(ran, (std::vector<std::string>{"start", "gain", "stop", "start again"}));
    EXPECT_EQ(mainQueue.pending(), 4u);
    for (const auto id : jobThreads) {
        EXPECT_NE(id, std::this_thread::get_id());
    }

    mainQueue.drain();
    EXPECT_EQ(ran.size(), 8u);
    EXPECT_EQ(ran.back(), "result of start again");
    for (const auto id : resultThreads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
}

// A start still queued when its row went back to full does nothing: the
// application is not moved into a tap and out again for nothing.
TEST_P(AsyncSessions, ARowBackAtFullBeforeItsStartRanIsNeverTapped) {
    f.sim.processes.applications[11] = RunningApplication{"Other", ActivationPolicy::regular};
    audio.addProcess(11, "org.example.Other", true);
    model->refresh();
    settle();
    audio.setCallLogging(true);
    audio.clearLog();
    audio.close();
    ASSERT_TRUE(returnsWhileHeld(audio, [&] {
        model->setVolume("org.example.Other", 0.5);  // its start waits on the server
        model->setVolume(kPlayer, 0.5);               // queued behind it
        model->setVolume(kPlayer, 1.0);               // and ended before it ran
    }));
    audio.open();
    settle();
    int madeCount = 0;
    for (const auto& record : audio.log()) {
        madeCount += record.call == made() ? 1 : 0;
    }
    EXPECT_EQ(madeCount, 1) << "a session made for a row already back at full volume";
    EXPECT_EQ(madeOnSystem(), 1u);
}

}  // namespace
}  // namespace morvale::testing
