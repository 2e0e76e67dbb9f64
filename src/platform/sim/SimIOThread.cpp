// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/SimIOThread.h"

#include <algorithm>

namespace morvale::sim {

SimIOThread::SimIOThread(SimulatedAudioSystem& system, AudioObjectID device, Layout layout)
    : system_(system), device_(device), layout_(std::move(layout)) {
    for (const Input& input : layout_.inputs) {
        inputData_.emplace_back(std::size_t{layout_.frames} * input.channels, input.value);
    }
    for (const std::uint32_t channels : layout_.outputChannels) {
        outputData_.emplace_back(std::size_t{layout_.frames} * channels, 0.0f);
    }
    for (std::size_t i = 0; i < inputData_.size(); ++i) {
        inputBuffers_.push_back(
            AudioBuffer{layout_.inputs[i].channels,
                        static_cast<std::uint32_t>(inputData_[i].size() * sizeof(float)),
                        inputData_[i].data()});
    }
    for (std::size_t i = 0; i < outputData_.size(); ++i) {
        outputBuffers_.push_back(
            AudioBuffer{layout_.outputChannels[i],
                        static_cast<std::uint32_t>(outputData_[i].size() * sizeof(float)),
                        outputData_[i].data()});
    }
    thread_ = std::jthread([this](const std::stop_token& stop) { loop(stop); });
}

SimIOThread::~SimIOThread() {
    stop();
}

void SimIOThread::stop() {
    thread_.request_stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SimIOThread::waitForCycles(std::uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return cycles_ >= count; });
}

bool SimIOThread::waitForPasses(std::uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return passes_ >= count; });
}

std::vector<float> SimIOThread::lastOutput() const {
    std::lock_guard lock(mutex_);
    return lastOutput_;
}

void SimIOThread::loop(const std::stop_token& stop) {
    const AudioBufferList input{static_cast<std::uint32_t>(inputBuffers_.size()),
                                inputBuffers_.data()};
    AudioBufferList output{static_cast<std::uint32_t>(outputBuffers_.size()),
                           outputBuffers_.data()};
    for (;;) {
        // Each cycle gets fresh inputs, in case an IO proc wrote into them.
        for (std::size_t i = 0; i < inputData_.size(); ++i) {
            std::fill(inputData_[i].begin(), inputData_[i].end(), layout_.inputs[i].value);
        }
        const int ran = system_.runIOCycle(device_, input, output);

        std::unique_lock lock(mutex_);
        passes_.fetch_add(1, std::memory_order_release);
        if (ran > 0) {
            cycles_.fetch_add(1, std::memory_order_release);
            lastOutput_.clear();
            for (const auto& data : outputData_) {
                lastOutput_.insert(lastOutput_.end(), data.begin(), data.end());
            }
        }
        changed_.notify_all();
        if (changed_.wait_for(lock, stop, layout_.period, [&] { return stop.stop_requested(); })) {
            return;
        }
    }
}

}  // namespace morvale::sim
