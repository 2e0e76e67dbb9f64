// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace morvale {

// Runs jobs on the main thread, each on a later turn of its loop, in order.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Safe to call from any thread.
    virtual void post(std::function<void()> job) = 0;
};

// A repeating timer; it stops when its handle goes.
class TimerHandle {
public:
    virtual ~TimerHandle() = default;
};

class Timers {
public:
    virtual ~Timers() = default;
    // Calls tick on the main thread every interval, the first time one interval
    // from now, for as long as the returned handle lives.
    virtual std::unique_ptr<TimerHandle> scheduleRepeating(std::chrono::milliseconds interval,
                                                           std::function<void()> tick) = 0;
    // Calls fire once on the main thread, delay from now, unless the returned
    // handle goes first.
    virtual std::unique_ptr<TimerHandle> scheduleOnce(std::chrono::milliseconds delay,
                                                      std::function<void()> fire) = 0;
};

// Tells observers, on the main thread, that the program is about to end.
class TerminationNotifier {
public:
    virtual ~TerminationNotifier() = default;
    virtual void addWillTerminateObserver(std::function<void()> observer) = 0;
};

}  // namespace morvale
