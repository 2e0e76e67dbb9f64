// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtTimers.h"

#include <QTimer>

namespace morvale::qt {

namespace {

class QtTimerHandle final : public TimerHandle {
public:
    QtTimerHandle(std::chrono::milliseconds interval, bool once, std::function<void()> tick) {
        timer_.setInterval(interval);
        timer_.setSingleShot(once);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(tick));
        timer_.start();
    }

private:
    QTimer timer_;  // stops when the handle goes
};

}  // namespace

std::unique_ptr<TimerHandle> QtTimers::scheduleRepeating(std::chrono::milliseconds interval,
                                                         std::function<void()> tick) {
    return std::make_unique<QtTimerHandle>(interval, false, std::move(tick));
}

std::unique_ptr<TimerHandle> QtTimers::scheduleOnce(std::chrono::milliseconds delay,
                                                    std::function<void()> fire) {
    return std::make_unique<QtTimerHandle>(delay, true, std::move(fire));
}

}  // namespace morvale::qt
