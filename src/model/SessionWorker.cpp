// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/SessionWorker.h"

#include <utility>

namespace morvale {

SessionWorker::SessionWorker(MainQueue& mainQueue)
    : mainQueue_(mainQueue), thread_([this](const std::stop_token& stop) { run(stop); }) {}

SessionWorker::~SessionWorker() {
    thread_.request_stop();
    thread_.join();
}

void SessionWorker::submit(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        ++submitted_;
    }
    wake_.notify_one();
}

void SessionWorker::drain() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = submitted_;
    drained_.wait(lock, [&] { return finished_ >= target; });
}

std::size_t SessionWorker::pending() {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(submitted_ - finished_);
}

void SessionWorker::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A stop request ends the thread only once the queue is empty: jobs
        // already submitted (the stops at quit among them) all run.
        wake_.wait(lock, stop, [&] { return !jobs_.empty(); });
        if (jobs_.empty()) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        Result result = job();
        if (result) {
            mainQueue_.post(std::move(result));
        }
        job = nullptr;  // what it holds goes before the job counts as run
        lock.lock();
        ++finished_;
        drained_.notify_all();
    }
}

}  // namespace morvale
