// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale::sim {

// A device's IO thread for the simulated audio system: runs IO cycles of one
// device on its own std::thread, as the hardware's real-time thread would,
// until stopped. Its buffers are made once, before the thread starts; every
// cycle refills the inputs with their constant values and runs the device's
// started IO procs on them.
class SimIOThread {
public:
    struct Input {
        std::uint32_t channels;
        float value;  // every sample of the buffer, every cycle
    };

    struct Layout {
        std::vector<Input> inputs;
        std::vector<std::uint32_t> outputChannels;  // one output buffer each
        std::uint32_t frames = 512;
        // Pause between cycles; zero runs them back to back.
        std::chrono::microseconds period{100};
    };

    SimIOThread(SimulatedAudioSystem& system, AudioObjectID device, Layout layout);
    ~SimIOThread();

    SimIOThread(const SimIOThread&) = delete;
    SimIOThread& operator=(const SimIOThread&) = delete;

    // Ends the thread after its current cycle; safe to call more than once.
    void stop();

    // Cycles in which at least one IO proc ran. Reading these takes no lock, so
    // a thread can poll them without synchronising with the IO thread on each look.
    std::uint64_t cycles() const { return cycles_.load(std::memory_order_acquire); }
    // Cycles run, whether an IO proc ran in them or not.
    std::uint64_t passes() const { return passes_.load(std::memory_order_acquire); }
    // Wait until at least `count` cycles (or passes) have run; false on timeout.
    bool waitForCycles(std::uint64_t count, std::chrono::milliseconds timeout) const;
    bool waitForPasses(std::uint64_t count, std::chrono::milliseconds timeout) const;
    // The output buffers of the last cycle in which an IO proc ran, one after
    // the other.
    std::vector<float> lastOutput() const;

private:
    void loop(const std::stop_token& stop);

    SimulatedAudioSystem& system_;
    const AudioObjectID device_;
    const Layout layout_;

    // Touched by the IO thread only while it runs.
    std::vector<std::vector<float>> inputData_;
    std::vector<std::vector<float>> outputData_;
    std::vector<AudioBuffer> inputBuffers_;
    std::vector<AudioBuffer> outputBuffers_;

    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    std::atomic<std::uint64_t> cycles_{0};
    std::atomic<std::uint64_t> passes_{0};
    std::vector<float> lastOutput_;

    std::jthread thread_;
};

}  // namespace morvale::sim
