// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/PulseAudioSystem.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "platform/FourCC.h"
#include "platform/PropertyString.h"
#include "platform/StreamUsage.h"
#include "platform/Translation.h"
#include "platform/pulse/PulseImpl.h"
#include "platform/pulse/replay/Realtime.h"
#include "platform/pulse/Watchdog.h"

// The public calls of PulseAudioSystem. The backend's state and its parts are
// in PulseImpl.h and the Pulse*.cpp files it lists.

namespace morvale::pulse {

namespace {

// Below the sound servers' own real-time threads (PulseAudio's run at 5),
// above everything that is not real-time.
constexpr int kIOThreadPriority = 4;

}  // namespace

PulseAudioSystem::PulseAudioSystem(const LinuxDesktop::AppIdentifier& identifier)
    : PulseAudioSystem(identifier, Options{}) {}

PulseAudioSystem::PulseAudioSystem(const LinuxDesktop::AppIdentifier& identifier,
                                   Options options) {
    if (options.watchdog) {
        // Before any libpulse object of this process exists.
        ensureWatchdog(options.server, options.timeout);
    }
    impl_ = std::make_unique<Impl>(identifier, std::move(options), pa_threaded_mainloop_new());
    Impl& impl = *impl_;
    pa_threaded_mainloop_set_name(impl.loop, "morvale-pulse");
    Impl::Lock lock(impl.loop);
    if (pa_threaded_mainloop_start(impl.loop) < 0) {
        impl.connection.failToStart("Couldn't start the sound server thread");
        return;
    }
    if (impl.options.realtime) {
        // On the loop's own thread, which runs the IO blocks, and without its
        // lock: the request may wait for the system bus.
        pa_threaded_mainloop_once_unlocked(
            impl.loop,
            [](pa_threaded_mainloop*, void* data) {
                static_cast<Impl*>(data)->realtime =
                    makeRealtime(::gettid(), kIOThreadPriority) != RealtimeGrant::unavailable;
            },
            &impl);
    }
    impl.connection.connect();
    impl.connection.waitFor(
        [&] {
            return impl.connection.state() == ConnectionState::ready ||
                   impl.connection.state() == ConnectionState::disconnected;
        },
        impl.options.timeout);
}

PulseAudioSystem::~PulseAudioSystem() {
    Impl& impl = *impl_;
    // Its answers take the lock: it is ended first, without the lock held.
    impl.identities.stop();
    {
        Impl::Lock lock(impl.loop);
        // Taps still standing are taken down, so that nothing of ours stays.
        for (auto& [id, tap] : impl.tapSinks.taps()) {
            if (impl.connection.context() != nullptr &&
                impl.connection.state() == ConnectionState::ready) {
                impl.releaseTap(tap);
            }
        }
        for (auto& [id, proc] : impl.procs) {
            proc->path.destroy();
        }
        impl.destroyCallMirrors();
        impl.tapSinks.close();
        impl.restore.stop();
        impl.connection.close();
    }
    pa_threaded_mainloop_stop(impl.loop);
    pa_threaded_mainloop_free(impl.loop);
}

PulseAudioSystem::ConnectionState PulseAudioSystem::connectionState() const {
    Impl::Lock lock(impl_->loop);
    return impl_->connection.state();
}

std::string PulseAudioSystem::errorText() const {
    Impl::Lock lock(impl_->loop);
    const ServerConnection& connection = impl_->connection;
    return connection.state() == ConnectionState::ready ? std::string() : connection.error();
}

void PulseAudioSystem::setConnectionObserver(std::function<void(ConnectionState)> observer) {
    Impl::Lock lock(impl_->loop);
    impl_->connection.setObserver(std::move(observer));
}

PulseAudioSystem::IOStats PulseAudioSystem::ioStats() const {
    const IOCounters& counters = impl_->ioCounters;
    return IOStats{counters.fragments.load(), counters.frames.load(), counters.underflows.load(),
                   counters.dropped.load(), impl_->realtime.load()};
}

std::optional<std::string> PulseAudioSystem::availabilityProblem() const {
    Impl::Lock lock(impl_->loop);
    if (impl_->connection.state() == ConnectionState::ready) {
        if (impl_->tapSinks.crowded()) {
            return translate("SoundServer",
                             "An application plays more sounds at once than the sound server "
                             "can mix in one place; some of them may play at their own volume "
                             "or not be heard");
        }
        return std::nullopt;
    }
    return impl_->connection.everReady()
               ? translate("SoundServer", "Lost the connection to the sound server; reconnecting…")
               : translate("SoundServer", "Couldn't connect to the sound server; retrying…");
}

bool PulseAudioSystem::hasOrphanedSinks() const {
    Impl::Lock lock(impl_->loop);
    return impl_->tapSinks.hasOrphans();
}

// ---- Properties ----

OSStatus PulseAudioSystem::getPropertyDataSize(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address,
                                               std::uint32_t, const void*,
                                               std::uint32_t* outDataSize) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    std::uint32_t size = 0;
    if (address.mSelector == kIOProcStreamUsage) {
        const auto* agg = impl.aggregate(object);
        if (agg == nullptr || address.mScope != kScopeInput) {
            return kAudioHardwareUnknownPropertyError;
        }
        size = static_cast<std::uint32_t>(
            StreamUsage::sizeFor(static_cast<std::uint32_t>(impl.aggregateInputs(*agg).size())));
    } else {
        const auto found = impl.lookup(object, address, nullptr);
        if (found.status != kAudioNoError) {
            return found.status;
        }
        size = property::sizeOf(found);
    }
    if (outDataSize != nullptr) {
        *outDataSize = size;
    }
    return kAudioNoError;
}

OSStatus PulseAudioSystem::getPropertyData(AudioObjectID object,
                                           const AudioObjectPropertyAddress& address, std::uint32_t,
                                           const void*, std::uint32_t* ioDataSize, void* outData) {
    if (ioDataSize == nullptr || outData == nullptr) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    auto* out = static_cast<unsigned char*>(outData);
    std::optional<LinuxDesktop::ClientHints> hints;
    Impl::Found found;
    {
        Impl::Lock lock(impl.loop);
        if (address.mSelector == kIOProcStreamUsage) {
            const auto* agg = impl.aggregate(object);
            if (agg == nullptr || address.mScope != kScopeInput) {
                return kAudioHardwareUnknownPropertyError;
            }
            if (*ioDataSize < StreamUsage::kFlagsOffset) {
                return kAudioHardwareBadPropertySizeError;
            }
            Impl::IOProc* proc = impl.procOn(object, StreamUsage::proc(out));
            if (proc == nullptr) {
                return kAudioHardwareIllegalOperationError;
            }
            const auto streams = static_cast<std::uint32_t>(impl.aggregateInputs(*agg).size());
            const auto room = static_cast<std::uint32_t>((*ioDataSize - StreamUsage::kFlagsOffset) /
                                                         sizeof(std::uint32_t));
            const std::uint32_t written = std::min(streams, room);
            StreamUsage::setCount(out, streams);
            for (std::uint32_t i = 0; i < written; ++i) {
                StreamUsage::setFlag(out, i, i < proc->usage.size() ? proc->usage[i] : 1u);
            }
            *ioDataSize = static_cast<std::uint32_t>(StreamUsage::sizeFor(written));
            return kAudioNoError;
        }
        found = impl.lookup(object, address, &hints);
    }
    if (found.status != kAudioNoError) {
        return found.status;
    }
    if (hints) {
        // The identifier may read files; the server thread is not held up by it.
        const auto id = impl.identifier.desktopId(*hints);
        if (!id) {
            return kAudioHardwareUnknownPropertyError;
        }
        found.text = *id;
    }
    return property::copyOut(found, address, ioDataSize, outData);
}

OSStatus PulseAudioSystem::setPropertyData(AudioObjectID object,
                                           const AudioObjectPropertyAddress& address, std::uint32_t,
                                           const void*, std::uint32_t dataSize, const void* data) {
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
        impl.reconcile();
        return kAudioNoError;
    }
    if (const auto tap = impl.tapSinks.taps().find(object);
        tap != impl.tapSinks.taps().end() && address.mSelector == kTapDescription) {
        OSStatus status = kAudioNoError;
        const auto* given = property::givenPointer<TapDescription>(data, dataSize, status);
        return given != nullptr ? impl.describeTap(tap->second, *given) : status;
    }
    if (const auto agg = impl.aggregates.find(object);
        agg != impl.aggregates.end() && address.mSelector == kAggregateMainSubDevice) {
        StringRef given = nullptr;
        if (data == nullptr || dataSize != sizeof given) {
            return kAudioHardwareBadPropertySizeError;
        }
        std::memcpy(&given, data, sizeof given);
        return given != nullptr ? impl.moveAggregate(agg->second, stringRefValue(given))
                                : kAudioParamError;
    }
    const auto* agg = impl.aggregate(object);
    if (address.mSelector != kIOProcStreamUsage || agg == nullptr ||
        address.mScope != kScopeInput) {
        // Everything else is read-only.
        const auto found = impl.lookup(object, address, nullptr);
        return found.status != kAudioNoError ? found.status : kAudioHardwareIllegalOperationError;
    }
    if (data == nullptr || dataSize < StreamUsage::kFlagsOffset) {
        return kAudioHardwareBadPropertySizeError;
    }
    const auto* in = static_cast<const unsigned char*>(data);
    Impl::IOProc* proc = impl.procOn(object, StreamUsage::proc(in));
    const auto streams = impl.aggregateInputs(*agg).size();
    const std::uint32_t count = StreamUsage::count(in);
    if (proc == nullptr || count > streams || StreamUsage::sizeFor(count) > dataSize) {
        return kAudioHardwareIllegalOperationError;
    }
    proc->usage.assign(streams, 1u);
    for (std::uint32_t i = 0; i < count; ++i) {
        proc->usage[i] = StreamUsage::flag(in, i);
    }
    return kAudioNoError;
}

// ---- Taps ----

OSStatus PulseAudioSystem::createProcessTap(const TapDescription& description,
                                            AudioObjectID* outTapID) {
    if (outTapID == nullptr) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.connection.state() != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    if (description.muteBehavior == TapMuteBehavior::unmuted) {
        // A stream plays in one sink only: it cannot be heard and read apart.
        return kAudioHardwareUnsupportedOperationError;
    }
    for (const auto& [id, tap] : impl.tapSinks.taps()) {
        if (!description.uuid.empty() && tap.uuid == description.uuid) {
            return kAudioHardwareIllegalOperationError;  // a UUID names one tap
        }
    }
    const AudioObjectID id = impl.table.newObjectID();
    Impl::Tap& tap = impl.tapSinks.taps()[id];
    tap.id = id;
    tap.stream = impl.table.newObjectID();
    tap.description = description;
    tap.processes.insert(description.processes.begin(), description.processes.end());
    tap.uuid = description.uuid.empty() ? "tap-" + std::to_string(id) : description.uuid;
    tap.channels = description.mixdown && description.mono ? 1 : 0;
    tap.always = description.muteBehavior == TapMuteBehavior::muted;
    impl.reconcile();  // loads the sink

    // Ready once the sink is listed (and, for a muting tap, the tapped
    // streams are inside it).
    const auto settled = [&] {
        if (tap.failure != kAudioNoError || impl.connection.context() == nullptr) {
            return true;
        }
        const SinkRecord* sink = impl.table.tapSink(tap.uuid);
        if (sink == nullptr || sink->name != tap.sinkName) {
            return false;
        }
        return !tap.always || impl.tapSinks.settled(tap);
    };
    const bool done = impl.connection.waitFor(settled, impl.options.timeout);
    OSStatus status = kAudioNoError;
    if (!done) {
        status = impl.table.tapSink(tap.uuid) == nullptr ? impl.connection.timedOut("making a tap")
                                                         : kAudioNoError;
    } else if (impl.connection.context() == nullptr) {
        status = kAudioHardwareNotRunningError;
    } else {
        status = tap.failure;
    }
    if (status != kAudioNoError) {
        impl.releaseTap(tap);
        impl.tapSinks.taps().erase(id);
        return status;
    }
    *outTapID = id;
    return kAudioNoError;
}

OSStatus PulseAudioSystem::destroyProcessTap(AudioObjectID tapID) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    const auto it = impl.tapSinks.taps().find(tapID);
    if (it == impl.tapSinks.taps().end()) {
        return kAudioHardwareBadObjectError;
    }
    if (impl.connection.state() == ConnectionState::ready) {
        impl.releaseTap(it->second);
    }
    impl.tapSinks.taps().erase(tapID);
    return kAudioNoError;
}

// ---- Aggregate devices ----

OSStatus PulseAudioSystem::createAggregateDevice(const PlistValue::Dict& description,
                                                 AudioObjectID* outDeviceID) {
    if (outDeviceID == nullptr) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.connection.state() != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    const auto master = description.find("master");
    const std::string* masterName =
        master != description.end() ? master->second.asString() : nullptr;
    if (masterName == nullptr || impl.table.deviceForSinkName(*masterName) == 0) {
        return kAudioHardwareBadDeviceError;
    }
    // Exactly one tap, one of ours, named by its UUID.
    const auto tapsEntry = description.find("taps");
    const PlistValue::List* tapList =
        tapsEntry != description.end() ? tapsEntry->second.asList() : nullptr;
    if (tapList == nullptr || tapList->size() != 1) {
        return kAudioHardwareUnsupportedOperationError;
    }
    const PlistValue* tapUid = tapList->front().find("uid");
    const std::string* uuid = tapUid != nullptr ? tapUid->asString() : nullptr;
    AudioObjectID tapID = 0;
    for (const auto& [id, tap] : impl.tapSinks.taps()) {
        if (uuid != nullptr && tap.uuid == *uuid) {
            tapID = id;
        }
    }
    if (tapID == 0) {
        return kAudioHardwareIllegalOperationError;
    }
    const auto text = [&](const char* key) {
        const auto it = description.find(key);
        const std::string* value = it != description.end() ? it->second.asString() : nullptr;
        return value != nullptr ? *value : std::string();
    };
    const AudioObjectID id = impl.table.newObjectID();
    impl.aggregates[id] = Impl::Aggregate{id, text("name"), text("uid"), *masterName, tapID};
    *outDeviceID = id;
    return kAudioNoError;
}

OSStatus PulseAudioSystem::destroyAggregateDevice(AudioObjectID device) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.aggregates.erase(device) == 0) {
        return kAudioHardwareBadDeviceError;
    }
    // The device's IO procs go with it.
    std::erase_if(impl.procs, [&](auto& item) {
        if (item.second->device != device) {
            return false;
        }
        impl.stopProc(*item.second);
        return true;
    });
    return kAudioNoError;
}

// ---- IO procs ----

OSStatus PulseAudioSystem::createIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                                   AudioObjectID device, DispatchQueue,
                                                   AudioDeviceIOBlock block) {
    if (outIOProcID == nullptr || !block) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.aggregate(device) == nullptr) {
        // IO procs run on aggregate devices only: a plain sink has nothing to read.
        return impl.table.device(device) != nullptr ? kAudioHardwareUnsupportedOperationError
                                                    : kAudioHardwareBadDeviceError;
    }
    // IO proc ids are opaque tokens; they never point at anything.
    const auto id = reinterpret_cast<AudioDeviceIOProcID>(impl.nextProc++ * 16);
    auto proc = std::make_unique<Impl::IOProc>(impl, id, device, std::move(block));
    impl.procs[id] = std::move(proc);
    *outIOProcID = id;
    return kAudioNoError;
}

OSStatus PulseAudioSystem::destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    Impl::IOProc* proc = impl.procOn(device, ioProc);
    if (proc == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    impl.stopProc(*proc);
    impl.procs.erase(ioProc);
    return kAudioNoError;
}

OSStatus PulseAudioSystem::deviceStart(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    Impl::IOProc* proc = impl.procOn(device, ioProc);
    if (proc == nullptr) {
        return kAudioHardwareBadDeviceError;
    }
    if (impl.connection.state() != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    if (impl.tapOf(*proc) == nullptr) {
        return kAudioHardwareBadObjectError;  // its tap is gone
    }
    if (proc->running && proc->path.ready()) {
        return kAudioNoError;
    }
    proc->running = true;
    proc->failure = kAudioNoError;
    impl.reconcile();
    const bool settled = impl.connection.waitFor(
        [&] {
            if (proc->failure != kAudioNoError || impl.connection.context() == nullptr) {
                return true;
            }
            // Running once the capture runs and the tapped streams are inside;
            // a server that answers but is slow to move many streams (PipeWire
            // relinks each one) is running once the capture runs, and the
            // streams follow.
            const Impl::Tap* tap = impl.tapOf(*proc);
            return proc->path.ready() && proc->path.kicked() && tap != nullptr &&
                   impl.tapSinks.settled(*tap);
        },
        impl.options.timeout);
    OSStatus status = kAudioNoError;
    if (!settled && !(proc->path.ready() && proc->path.kicked())) {
        status = impl.connection.timedOut("starting audio");
    } else if (impl.connection.context() == nullptr) {
        status = kAudioHardwareNotRunningError;
    } else if (!proc->path.ready()) {
        status = proc->failure != kAudioNoError ? proc->failure : kAudioHardwareUnspecifiedError;
    }
    if (status != kAudioNoError) {
        impl.stopProc(*proc);
    }
    return status;
}

OSStatus PulseAudioSystem::deviceStop(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    Impl::IOProc* proc = impl.procOn(device, ioProc);
    if (proc == nullptr) {
        return kAudioHardwareBadDeviceError;
    }
    impl.stopProc(*proc);
    return kAudioNoError;
}

// ---- Property listeners ----

OSStatus PulseAudioSystem::addPropertyListenerBlock(AudioObjectID object,
                                                    const AudioObjectPropertyAddress& address,
                                                    DispatchQueue,
                                                    AudioObjectPropertyListenerBlock block,
                                                    AudioObjectPropertyListenerID* outListener) {
    if (outListener == nullptr || !block) {
        return kAudioParamError;
    }
    if (const OSStatus status = PropertyListeners::supports(object, address);
        status != kAudioNoError) {
        return status;
    }
    Impl::Lock lock(impl_->loop);
    *outListener = impl_->listeners.add(address, std::move(block));
    return kAudioNoError;
}

OSStatus PulseAudioSystem::removePropertyListenerBlock(AudioObjectID object,
                                                       const AudioObjectPropertyAddress& address,
                                                       DispatchQueue,
                                                       AudioObjectPropertyListenerID listener) {
    Impl::Lock lock(impl_->loop);
    if (object != kAudioObjectSystemObject || !impl_->listeners.remove(address, listener)) {
        return kAudioHardwareIllegalOperationError;
    }
    return kAudioNoError;
}

std::string toString(PulseAudioSystem::ConnectionState state) {
    switch (state) {
        case PulseAudioSystem::ConnectionState::connecting:
            return "connecting";
        case PulseAudioSystem::ConnectionState::ready:
            return "ready";
        case PulseAudioSystem::ConnectionState::disconnected:
            return "disconnected";
    }
    return "?";
}

}  // namespace morvale::pulse
