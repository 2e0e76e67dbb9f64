// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale::testing {

// The simulated system behind a gate: while the gate is closed, every call
// that makes, changes or ends something (what a server that does not answer
// holds up) waits until it opens. Reads pass, as they do on a backend that
// answers them from what it already knows.
class GatedAudioSystem final : public AudioHardware {
public:
    explicit GatedAudioSystem(sim::SimulatedAudioSystem& inner) : inner_(inner) {}

    void close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    // Waits until a call of this kind waits at the gate; false if none came
    // within the timeout (a guard against a hanging test, not a timing).
    bool awaitHeld(sim::SimulatedAudioSystem::Call call,
                   std::chrono::seconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return held_ == call && heldCount_ > 0; });
    }

    OSStatus getPropertyDataSize(AudioObjectID o, const AudioObjectPropertyAddress& a,
                                 std::uint32_t qs, const void* q, std::uint32_t* out) override {
        return inner_.getPropertyDataSize(o, a, qs, q, out);
    }
    OSStatus getPropertyData(AudioObjectID o, const AudioObjectPropertyAddress& a,
                             std::uint32_t qs, const void* q, std::uint32_t* io,
                             void* out) override {
        return inner_.getPropertyData(o, a, qs, q, io, out);
    }
    OSStatus setPropertyData(AudioObjectID o, const AudioObjectPropertyAddress& a,
                             std::uint32_t qs, const void* q, std::uint32_t size,
                             const void* data) override {
        pass(Call::setPropertyData);
        return inner_.setPropertyData(o, a, qs, q, size, data);
    }
    OSStatus createProcessTap(const TapDescription& d, AudioObjectID* out) override {
        pass(Call::createProcessTap);
        return inner_.createProcessTap(d, out);
    }
    OSStatus destroyProcessTap(AudioObjectID tap) override {
        pass(Call::destroyProcessTap);
        return inner_.destroyProcessTap(tap);
    }
    OSStatus createAggregateDevice(const PlistValue::Dict& d, AudioObjectID* out) override {
        pass(Call::createAggregateDevice);
        return inner_.createAggregateDevice(d, out);
    }
    OSStatus destroyAggregateDevice(AudioObjectID device) override {
        pass(Call::destroyAggregateDevice);
        return inner_.destroyAggregateDevice(device);
    }
    OSStatus createIOProcIDWithBlock(AudioDeviceIOProcID* out, AudioObjectID device,
                                     DispatchQueue queue, AudioDeviceIOBlock block) override {
        pass(Call::createIOProcIDWithBlock);
        return inner_.createIOProcIDWithBlock(out, device, queue, std::move(block));
    }
    OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID proc) override {
        pass(Call::destroyIOProcID);
        return inner_.destroyIOProcID(device, proc);
    }
    OSStatus deviceStart(AudioObjectID device, AudioDeviceIOProcID proc) override {
        pass(Call::deviceStart);
        return inner_.deviceStart(device, proc);
    }
    OSStatus deviceStop(AudioObjectID device, AudioDeviceIOProcID proc) override {
        pass(Call::deviceStop);
        return inner_.deviceStop(device, proc);
    }
    OSStatus addPropertyListenerBlock(AudioObjectID o, const AudioObjectPropertyAddress& a,
                                      DispatchQueue queue, AudioObjectPropertyListenerBlock block,
                                      AudioObjectPropertyListenerID* out) override {
        return inner_.addPropertyListenerBlock(o, a, queue, std::move(block), out);
    }
    OSStatus removePropertyListenerBlock(AudioObjectID o, const AudioObjectPropertyAddress& a,
                                         DispatchQueue queue,
                                         AudioObjectPropertyListenerID listener) override {
        return inner_.removePropertyListenerBlock(o, a, queue, listener);
    }
    bool hasGainStages() const override { return inner_.hasGainStages(); }
    OSStatus createGainStage(const TapDescription& d, float gain, AudioObjectID* out) override {
        pass(Call::createGainStage);
        return inner_.createGainStage(d, gain, out);
    }
    OSStatus destroyGainStage(AudioObjectID stage) override {
        pass(Call::destroyGainStage);
        return inner_.destroyGainStage(stage);
    }
    std::optional<std::string> availabilityProblem() const override {
        return inner_.availabilityProblem();
    }

private:
    using Call = sim::SimulatedAudioSystem::Call;

    void pass(Call call) {
        std::unique_lock lock(mutex_);
        if (open_) {
            return;
        }
        held_ = call;
        ++heldCount_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        --heldCount_;
    }

    sim::SimulatedAudioSystem& inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    Call held_ = Call::getPropertyData;
    int heldCount_ = 0;
};

}  // namespace morvale::testing
