// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/PipeWireAudioSystem.h"

#include "platform/PropertyAnswer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "platform/CallGroup.h"
#include "platform/FourCC.h"
#include "platform/PropertyString.h"
#include "platform/Translation.h"
#include "platform/pipewire/PwImpl.h"

// The public calls of PipeWireAudioSystem. The state is in PwImpl.h.

namespace morvale::pipewire {

namespace {

using Found = property::Answer;
using property::bytesOf;
using property::failed;
using property::listOf;
using property::textOf;

// Looks a property up (lock held). A 'pbid' read of an application's process
// returns the hints to look its identifier up with, which happens without the lock.
Found lookup(const Impl& impl, AudioObjectID object, const AudioObjectPropertyAddress& a,
             std::optional<LinuxDesktop::ClientHints>* hints) {
    if (impl.state != PipeWireAudioSystem::ConnectionState::ready) {
        return failed(kAudioHardwareNotRunningError);
    }
    if (object == kAudioObjectSystemObject) {
        if (a.mSelector == kProcessObjectList)
            return listOf(impl.graph.processObjects());
        if (a.mSelector == kDefaultOutputDevice)
            return bytesOf(impl.graph.defaultDevice());
        if (a.mSelector == kCallDuckingDB) {
            if (const auto decibels = callDuckingDB(impl.duckingFacts())) {
                return bytesOf(static_cast<float>(*decibels));
            }
        }
        if (a.mSelector == kOutputDeviceList) {
            std::vector<AudioObjectID> devices;
            for (const AudioObjectID id : impl.graph.deviceObjects()) {
                if (!impl.graph.device(id)->ours) {
                    devices.push_back(id);
                }
            }
            return listOf(devices);
        }
        return failed(kAudioHardwareUnknownPropertyError);
    }
    if (const auto* process = impl.graph.process(object)) {
        switch (a.mSelector) {
            case kProcessPID:
                return bytesOf(process->pid);
            case kProcessIsRunningOutput:
                return bytesOf(std::uint32_t{process->running ? 1u : 0u});
            case kProcessIsRunningInput:
                return bytesOf(std::uint32_t{process->recording ? 1u : 0u});
            case kProcessOutputDevice:
                for (const std::uint32_t node : process->playback) {
                    if (const PwNode* sink = impl.graph.linkedSink(node)) {
                        return textOf(sink->name);
                    }
                }
                return textOf("");
            case kProcessDeclaredName: {
                auto name =
                    process->call ? std::nullopt : LinuxDesktop::declaredName(process->hints);
                return name ? textOf(std::move(*name)) : failed(kAudioHardwareUnknownPropertyError);
            }
            case kProcessBundleID:
                if (process->call) {
                    return textOf(std::string(kCallStreamsBundleID));
                }
                if (hints != nullptr) {
                    *hints = process->hints;
                }
                return textOf("");
            default:
                return failed(kAudioHardwareUnknownPropertyError);
        }
    }
    if (const PwNode* sink = impl.graph.device(object)) {
        if (a.mSelector == kDeviceUID)
            return textOf(sink->name);
        if (a.mSelector == kDeviceName)
            return textOf(sink->description.empty() ? sink->name : sink->description);
        if (a.mSelector == kDeviceStreams)
            return listOf({});
        return failed(kAudioHardwareUnknownPropertyError);
    }
    if (const auto stage = impl.stages.find(object); stage != impl.stages.end()) {
        if (a.mSelector == kGainStageGain)
            return bytesOf(stage->second.gain);
        return failed(kAudioHardwareUnknownPropertyError);
    }
    return failed(kAudioHardwareBadObjectError);
}

}  // namespace

PipeWireAudioSystem::PipeWireAudioSystem(const LinuxDesktop::AppIdentifier& identifier)
    : PipeWireAudioSystem(identifier, Options{}) {}

PipeWireAudioSystem::PipeWireAudioSystem(const LinuxDesktop::AppIdentifier& identifier,
                                         Options options)
    : impl_(std::make_unique<Impl>(identifier, std::move(options))) {
    Impl& impl = *impl_;
    pw_thread_loop_start(impl.loop);
    Impl::Lock lock(impl.loop);
    impl.connect();
    timespec deadline{};
    pw_thread_loop_get_time(
        impl.loop, &deadline,
        static_cast<std::int64_t>(impl.options.timeout.count()) * SPA_NSEC_PER_MSEC);
    while (impl.state != ConnectionState::ready &&
           !(impl.attempted && impl.state == ConnectionState::disconnected)) {
        if (pw_thread_loop_timed_wait_full(impl.loop, &deadline) != 0) {
            break;
        }
    }
}

PipeWireAudioSystem::~PipeWireAudioSystem() {
    Impl& impl = *impl_;
    {
        Impl::Lock lock(impl.loop);
        impl.observer = {};
        impl.listeners.clear();
        // Every stream back at its own level at once (no ramp: the loop is
        // about to end), and the server has it, before the connection goes.
        impl.stages.clear();
        for (auto& [id, b] : impl.bound) {
            if (b->target) {
                impl.release(*b);
            }
        }
        impl.flush();
    }
    impl_.reset();
}

bool PipeWireAudioSystem::daemonAnswers(const std::string& remote) {
    pw_init(nullptr, nullptr);
    pw_loop* loop = pw_loop_new(nullptr);
    if (loop == nullptr) {
        return false;
    }
    pw_context* context = pw_context_new(loop, nullptr, 0);
    bool answers = false;
    if (context != nullptr) {
        pw_properties* props = nullptr;
        if (!remote.empty()) {
            props = pw_properties_new(PW_KEY_REMOTE_NAME, remote.c_str(), nullptr);
        }
        if (pw_core* core = pw_context_connect(context, props, 0)) {
            answers = true;
            pw_core_disconnect(core);
        }
        pw_context_destroy(context);
    }
    pw_loop_destroy(loop);
    return answers;
}

std::string PipeWireAudioSystem::libraryVersion() {
    return pw_get_library_version();
}

PipeWireAudioSystem::ConnectionState PipeWireAudioSystem::connectionState() const {
    Impl::Lock lock(impl_->loop);
    return impl_->state;
}

void PipeWireAudioSystem::setConnectionObserver(std::function<void(ConnectionState)> observer) {
    Impl::Lock lock(impl_->loop);
    impl_->observer = std::move(observer);
}

std::size_t PipeWireAudioSystem::heldNodeCount() const {
    Impl::Lock lock(impl_->loop);
    std::size_t held = 0;
    for (const auto& [id, b] : impl_->bound) {
        held += b->target.has_value() ? 1u : 0u;
    }
    return held;
}

std::uint64_t PipeWireAudioSystem::volumeWrites() const {
    Impl::Lock lock(impl_->loop);
    return impl_->volumeWrites;
}

std::optional<std::string> PipeWireAudioSystem::availabilityProblem() const {
    Impl::Lock lock(impl_->loop);
    if (impl_->state == ConnectionState::ready) {
        if (!impl_->journalError.empty()) {
            // The gains are set all the same; what may stay after a crash is said.
            return translate("SoundServer",
                             "Couldn't record the volumes set in applications' streams; "
                             "after a crash they may stay lowered");
        }
        return std::nullopt;
    }
    return impl_->everReady
               ? translate("SoundServer", "Lost the connection to the sound server; reconnecting…")
               : translate("SoundServer", "Couldn't connect to the sound server; retrying…");
}

// ---- Properties ----

OSStatus PipeWireAudioSystem::getPropertyDataSize(AudioObjectID object,
                                                  const AudioObjectPropertyAddress& address,
                                                  std::uint32_t, const void*,
                                                  std::uint32_t* outDataSize) {
    Impl::Lock lock(impl_->loop);
    const Found found = lookup(*impl_, object, address, nullptr);
    if (found.status != kAudioNoError) {
        return found.status;
    }
    if (outDataSize != nullptr) {
        *outDataSize = property::sizeOf(found);
    }
    return kAudioNoError;
}

OSStatus PipeWireAudioSystem::getPropertyData(AudioObjectID object,
                                              const AudioObjectPropertyAddress& address,
                                              std::uint32_t, const void*,
                                              std::uint32_t* ioDataSize, void* outData) {
    if (ioDataSize == nullptr || outData == nullptr) {
        return kAudioParamError;
    }
    std::optional<LinuxDesktop::ClientHints> hints;
    Found found;
    {
        Impl::Lock lock(impl_->loop);
        found = lookup(*impl_, object, address, &hints);
    }
    if (found.status != kAudioNoError) {
        return found.status;
    }
    if (hints) {
        // The identifier may read files; the loop is not held up by it.
        const auto id = impl_->identifier.desktopId(*hints);
        if (!id) {
            return kAudioHardwareUnknownPropertyError;
        }
        found.text = *id;
    }
    return property::copyOut(found, address, ioDataSize, outData);
}

OSStatus PipeWireAudioSystem::setPropertyData(AudioObjectID object,
                                              const AudioObjectPropertyAddress& address,
                                              std::uint32_t, const void*, std::uint32_t dataSize,
                                              const void* data) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (object == kAudioObjectSystemObject && address.mSelector == kOutputRoutes) {
        OSStatus status = kAudioNoError;
        const auto* routes = property::givenPointer<OutputRoutes>(data, dataSize, status);
        if (routes == nullptr) {
            return status;
        }
        // Kept while the server is away, and applied when it is back.
        impl.routes = *routes;
        if (impl.state == ConnectionState::ready) {
            impl.applyRoutes();
        }
        return kAudioNoError;
    }
    const auto stage = impl.stages.find(object);
    if (stage == impl.stages.end()) {
        // Everything else is read-only.
        const Found found = lookup(impl, object, address, nullptr);
        return found.status != kAudioNoError ? found.status : kAudioHardwareIllegalOperationError;
    }
    if (address.mSelector == kGainStageGain) {
        float gain = 0.0f;
        if (data == nullptr || dataSize != sizeof gain) {
            return kAudioHardwareBadPropertySizeError;
        }
        std::memcpy(&gain, data, sizeof gain);
        if (!std::isfinite(gain) || gain < 0.0f) {
            return kAudioParamError;
        }
        stage->second.gain = gain;
    } else if (address.mSelector == kTapDescription) {
        OSStatus status = kAudioNoError;
        const auto* given = property::givenPointer<TapDescription>(data, dataSize, status);
        if (given == nullptr) {
            return status;
        }
        stage->second.description = *given;
    } else {
        return kAudioHardwareUnknownPropertyError;
    }
    if (impl.state == ConnectionState::ready) {
        impl.applyGains();
    }
    return kAudioNoError;
}

// ---- Gain stages ----

OSStatus PipeWireAudioSystem::createGainStage(const TapDescription& description, float gain,
                                              AudioObjectID* outStage) {
    if (outStage == nullptr || !std::isfinite(gain) || gain < 0.0f) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.state != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    GainStage stage;
    stage.id = impl.nextStage++;
    stage.description = description;
    stage.gain = gain;
    impl.stages[stage.id] = stage;
    impl.applyGains();
    *outStage = stage.id;
    return kAudioNoError;
}

OSStatus PipeWireAudioSystem::destroyGainStage(AudioObjectID stage) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.stages.erase(stage) == 0) {
        return kAudioHardwareBadObjectError;
    }
    if (impl.state == ConnectionState::ready) {
        impl.applyGains();
    }
    return kAudioNoError;
}

// ---- What this backend does not have: a gain stage replaces taps ----

OSStatus PipeWireAudioSystem::createProcessTap(const TapDescription&, AudioObjectID*) {
    return kAudioHardwareUnsupportedOperationError;
}
OSStatus PipeWireAudioSystem::destroyProcessTap(AudioObjectID) {
    return kAudioHardwareBadObjectError;
}
OSStatus PipeWireAudioSystem::createAggregateDevice(const PlistValue::Dict&, AudioObjectID*) {
    return kAudioHardwareUnsupportedOperationError;
}
OSStatus PipeWireAudioSystem::destroyAggregateDevice(AudioObjectID) {
    return kAudioHardwareBadObjectError;
}
OSStatus PipeWireAudioSystem::createIOProcIDWithBlock(AudioDeviceIOProcID*, AudioObjectID,
                                                      DispatchQueue, AudioDeviceIOBlock) {
    return kAudioHardwareUnsupportedOperationError;
}
OSStatus PipeWireAudioSystem::destroyIOProcID(AudioObjectID, AudioDeviceIOProcID) {
    return kAudioHardwareBadObjectError;
}
OSStatus PipeWireAudioSystem::deviceStart(AudioObjectID, AudioDeviceIOProcID) {
    return kAudioHardwareUnsupportedOperationError;
}
OSStatus PipeWireAudioSystem::deviceStop(AudioObjectID, AudioDeviceIOProcID) {
    return kAudioHardwareUnsupportedOperationError;
}

// ---- Listeners ----

OSStatus PipeWireAudioSystem::addPropertyListenerBlock(AudioObjectID object,
                                                       const AudioObjectPropertyAddress& address,
                                                       DispatchQueue,
                                                       AudioObjectPropertyListenerBlock block,
                                                       AudioObjectPropertyListenerID* outListener) {
    if (outListener == nullptr || !block) {
        return kAudioParamError;
    }
    if (object != kAudioObjectSystemObject || address.mSelector != kProcessObjectList) {
        return kAudioHardwareUnknownPropertyError;
    }
    Impl::Lock lock(impl_->loop);
    const std::uintptr_t id = impl_->nextListener++;
    impl_->listeners[id] = std::move(block);
    *outListener = reinterpret_cast<AudioObjectPropertyListenerID>(id);
    return kAudioNoError;
}

OSStatus PipeWireAudioSystem::removePropertyListenerBlock(AudioObjectID object,
                                                          const AudioObjectPropertyAddress& address,
                                                          DispatchQueue,
                                                          AudioObjectPropertyListenerID listener) {
    if (object != kAudioObjectSystemObject || address.mSelector != kProcessObjectList) {
        return kAudioHardwareUnknownPropertyError;
    }
    Impl::Lock lock(impl_->loop);
    return impl_->listeners.erase(reinterpret_cast<std::uintptr_t>(listener)) > 0
               ? kAudioNoError
               : kAudioHardwareIllegalOperationError;
}

}  // namespace morvale::pipewire
