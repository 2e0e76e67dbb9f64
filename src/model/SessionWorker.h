// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "model/SessionExecutor.h"
#include "platform/MainThread.h"

namespace morvale {

// Runs session jobs in order on a thread of its own, so that the main thread
// never waits on the sound server, and posts each job's result to the main
// queue. Destruction runs the jobs still queued and then ends the thread: a
// session stop submitted before it is never dropped.
class SessionWorker final : public SessionExecutor {
public:
    // The main queue must outlive the worker.
    explicit SessionWorker(MainQueue& mainQueue);
    ~SessionWorker() override;

    SessionWorker(const SessionWorker&) = delete;
    SessionWorker& operator=(const SessionWorker&) = delete;

    void submit(Job job) override;
    void drain() override;
    // Jobs submitted and not yet run to the end (the one running among them).
    std::size_t pending();

private:
    void run(const std::stop_token& stop);

    MainQueue& mainQueue_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable drained_;
    std::deque<Job> jobs_;
    std::uint64_t submitted_ = 0;
    std::uint64_t finished_ = 0;
    std::jthread thread_;  // last: it starts once everything above exists
};

}  // namespace morvale
