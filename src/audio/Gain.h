// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace morvale {

// The linear factor a tap session applies to its application's samples. The
// main thread stores it; the session's IO thread loads it once per callback.
// Relaxed ordering is enough: the value is self-contained, and a callback that
// misses a new value applies it in the next one.
class Gain {
public:
    explicit Gain(float initial = 1.0f) : value_(initial) {}

    float value() const noexcept { return value_.load(std::memory_order_relaxed); }
    void setValue(float gain) noexcept { value_.store(gain, std::memory_order_relaxed); }

private:
    static_assert(std::atomic<float>::is_always_lock_free, "the IO thread must never block");
    std::atomic<float> value_;
};

}  // namespace morvale
