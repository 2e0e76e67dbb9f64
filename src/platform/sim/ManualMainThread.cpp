// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/ManualMainThread.h"

#include <algorithm>

namespace morvale::sim {

void ManualMainQueue::post(std::function<void()> job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
}

int ManualMainQueue::drain() {
    int ran = 0;
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(mutex_);
            if (jobs_.empty()) {
                return ran;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
        ++ran;
    }
}

std::size_t ManualMainQueue::pending() const {
    std::lock_guard lock(mutex_);
    return jobs_.size();
}

class ManualTimers::Handle final : public TimerHandle {
public:
    explicit Handle(std::shared_ptr<Timer> timer) : timer_(std::move(timer)) {}
    ~Handle() override { timer_->alive = false; }

private:
    std::shared_ptr<Timer> timer_;
};

std::unique_ptr<TimerHandle> ManualTimers::scheduleRepeating(std::chrono::milliseconds interval,
                                                             std::function<void()> tick) {
    auto timer = std::make_shared<Timer>(Timer{interval, now_ + interval, std::move(tick)});
    timers_.push_back(timer);
    return std::make_unique<Handle>(std::move(timer));
}

std::unique_ptr<TimerHandle> ManualTimers::scheduleOnce(std::chrono::milliseconds delay,
                                                        std::function<void()> fire) {
    auto timer = std::make_shared<Timer>(Timer{delay, now_ + delay, std::move(fire)});
    timer->once = true;
    timers_.push_back(timer);
    return std::make_unique<Handle>(std::move(timer));
}

void ManualTimers::advance(std::chrono::milliseconds by) {
    const auto until = now_ + by;
    for (;;) {
        std::erase_if(timers_, [](const auto& t) { return !t->alive; });
        std::shared_ptr<Timer> due;
        for (const auto& timer : timers_) {
            if (timer->interval.count() > 0 && timer->next <= until &&
                (!due || timer->next < due->next)) {
                due = timer;
            }
        }
        if (!due) {
            break;
        }
        now_ = due->next;
        due->next += due->interval;
        due->alive = !due->once;
        due->tick();
    }
    now_ = until;
}

std::size_t ManualTimers::activeTimers() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& t) { return t->alive; }));
}

}  // namespace morvale::sim
