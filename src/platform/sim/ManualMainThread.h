// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/MainThread.h"

namespace morvale::sim {

// A main-thread queue that runs nothing until the test drains it.
class ManualMainQueue final : public MainQueue {
public:
    void post(std::function<void()> job) override;

    // Runs the jobs queued so far, and those they queue, until none is left.
    // Returns how many ran.
    int drain();
    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> jobs_;
};

// Repeating timers driven by a clock that only the test moves.
class ManualTimers final : public Timers {
public:
    std::unique_ptr<TimerHandle> scheduleRepeating(std::chrono::milliseconds interval,
                                                   std::function<void()> tick) override;
    std::unique_ptr<TimerHandle> scheduleOnce(std::chrono::milliseconds delay,
                                              std::function<void()> fire) override;

    // Moves the clock forward, firing every tick that falls due on the way, in
    // time order.
    void advance(std::chrono::milliseconds by);
    std::chrono::milliseconds now() const { return now_; }
    std::size_t activeTimers() const;

private:
    struct Timer {
        std::chrono::milliseconds interval;
        std::chrono::milliseconds next;
        std::function<void()> tick;
        bool alive = true;
        bool once = false;
    };
    class Handle;

    std::chrono::milliseconds now_{0};
    std::vector<std::shared_ptr<Timer>> timers_;
};

// Will-terminate observers, notified when the test says so.
class ManualTermination final : public TerminationNotifier {
public:
    void addWillTerminateObserver(std::function<void()> observer) override {
        observers_.push_back(std::move(observer));
    }
    void notifyWillTerminate() {
        for (auto& observer : observers_) {
            observer();
        }
    }
    std::size_t observerCount() const { return observers_.size(); }

private:
    std::vector<std::function<void()>> observers_;
};

}  // namespace morvale::sim
