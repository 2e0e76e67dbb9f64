// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MainThread.h"

namespace morvale::qt {

// Timers on the calling thread's Qt event loop (the main thread).
class QtTimers final : public Timers {
public:
    std::unique_ptr<TimerHandle> scheduleRepeating(std::chrono::milliseconds interval,
                                                   std::function<void()> tick) override;
    std::unique_ptr<TimerHandle> scheduleOnce(std::chrono::milliseconds delay,
                                              std::function<void()> fire) override;
};

}  // namespace morvale::qt
