// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale::testing {

// The simulated system behind a gate: while the gate is closed, the call that
// begins each job making, changing or ending a session or a route (what a
// server that does not answer holds up) waits until it opens. Reads pass, as
// they do on a backend that answers them from what it already knows.
class GatedAudioSystem final : public sim::SimulatedAudioSystem {
public:
    void close() {
        std::lock_guard lock(gateMutex_);
        open_ = false;
    }
    void open() {
        {
            std::lock_guard lock(gateMutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    // Waits until a call of this kind waits at the gate; false if none came
    // within the timeout (a guard against a hanging test, not a timing).
    bool awaitHeld(Call call, std::chrono::seconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(gateMutex_);
        return changed_.wait_for(lock, timeout, [&] { return held_ == call && heldCount_ > 0; });
    }

    OSStatus setPropertyData(AudioObjectID o, const AudioObjectPropertyAddress& a, std::uint32_t qs,
                             const void* q, std::uint32_t size, const void* data) override {
        pass(Call::setPropertyData);
        return SimulatedAudioSystem::setPropertyData(o, a, qs, q, size, data);
    }
    OSStatus createProcessTap(const TapDescription& d, AudioObjectID* out) override {
        pass(Call::createProcessTap);
        return SimulatedAudioSystem::createProcessTap(d, out);
    }
    OSStatus deviceStop(AudioObjectID device, AudioDeviceIOProcID proc) override {
        pass(Call::deviceStop);
        return SimulatedAudioSystem::deviceStop(device, proc);
    }
    OSStatus createGainStage(const TapDescription& d, float gain, AudioObjectID* out) override {
        pass(Call::createGainStage);
        return SimulatedAudioSystem::createGainStage(d, gain, out);
    }
    OSStatus destroyGainStage(AudioObjectID stage) override {
        pass(Call::destroyGainStage);
        return SimulatedAudioSystem::destroyGainStage(stage);
    }

private:
    void pass(Call call) {
        std::unique_lock lock(gateMutex_);
        if (open_) {
            return;
        }
        held_ = call;
        ++heldCount_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        --heldCount_;
    }

    std::mutex gateMutex_;
    std::condition_variable changed_;
    bool open_ = true;
    Call held_ = Call::getPropertyData;
    int heldCount_ = 0;
};

}  // namespace morvale::testing
