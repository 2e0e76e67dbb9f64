#pragma once

#include "platform/MainThread.h"

namespace morvale::qt {

// Repeating timers on the calling thread's Qt event loop (the main thread).
class QtTimers final : public Timers {
public:
    std::unique_ptr<TimerHandle> scheduleRepeating(std::chrono::milliseconds interval,
                                                   std::function<void()> tick) override;
};

}  // namespace morvale::qt
