// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/SessionWorker.h"
#include "platform/sim/ManualMainThread.h"

namespace morvale::testing {
namespace {

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

}  // namespace
}  // namespace morvale::testing
