#include "platform/qt/QtTimers.h"

#include <QTimer>

namespace morvale::qt {

namespace {

class QtTimerHandle final : public TimerHandle {
public:
    QtTimerHandle(std::chrono::milliseconds interval, std::function<void()> tick) {
        timer_.setInterval(interval);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(tick));
        timer_.start();
    }

private:
    QTimer timer_;  // stops when the handle goes
};

}  // namespace

std::unique_ptr<TimerHandle> QtTimers::scheduleRepeating(std::chrono::milliseconds interval,
                                                         std::function<void()> tick) {
    return std::make_unique<QtTimerHandle>(interval, std::move(tick));
}

}  // namespace morvale::qt
