// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: property reads, answered from the ObjectTable and
// the logical objects (taps, aggregate devices, IO procs).

#include <cstring>
#include <optional>
#include <vector>

#include "platform/CallGroup.h"
#include "platform/FourCC.h"
#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

using property::bytesOf;
using property::failed;
using property::listOf;

const Impl::Aggregate* Impl::aggregate(AudioObjectID id) const {
    const auto it = aggregates.find(id);
    return it == aggregates.end() ? nullptr : &it->second;
}

// Looks a property up (lock held). A 'pbid' read returns the hints to look
// the identifier up with, which happens without the lock.
Impl::Found Impl::lookup(AudioObjectID object, const AudioObjectPropertyAddress& a,
                         std::optional<LinuxDesktop::ClientHints>* hints) const {
    if (connection.state() != ConnectionState::ready) {
        return failed(kAudioHardwareNotRunningError);
    }
    if (object == kAudioObjectSystemObject) {
        if (a.mSelector == kProcessObjectList)
            return listOf(table.processObjects());
        if (a.mSelector == kDefaultOutputDevice)
            return bytesOf(table.defaultDevice());
        // PipeWire's server lists none of the modules that lower streams
        // during calls; its session manager does that where configured,
        // which its PulseAudio server does not tell.
        if (a.mSelector == kCallDuckingDB && !pipeWire) {
            std::vector<RoleModule> modules;
            for (const auto& [index, module] : roleModules) {
                modules.push_back(module);
            }
            if (const auto decibels = callDuckingDB(modules)) {
                return bytesOf(static_cast<float>(*decibels));
            }
        }
        if (a.mSelector == kOutputDeviceList)
            return listOf(table.deviceObjects());
        return failed(kAudioHardwareUnknownPropertyError);
    }
    if (const auto* process = table.process(object)) {
        if (a.mSelector == kProcessOutputDevice) {
            Found found;
            found.text = outputOf(*process);
            return found;
        }
        if (a.mSelector == kProcessPID)
            return bytesOf(process->pid);
        if (a.mSelector == kProcessIsRunningOutput) {
            return bytesOf(std::uint32_t{process->running ? 1u : 0u});
        }
        if (a.mSelector == kProcessIsRunningInput) {
            return bytesOf(std::uint32_t{process->recording ? 1u : 0u});
        }
        if (a.mSelector == kProcessBundleID && process->call) {
            Found found;
            found.text = std::string(kCallStreamsBundleID);
            return found;
        }
        if (a.mSelector == kProcessDeclaredName) {
            auto name = process->call ? std::nullopt : LinuxDesktop::declaredName(process->hints);
            if (!name) {
                return failed(kAudioHardwareUnknownPropertyError);
            }
            Found found;
            found.text = std::move(name);
            return found;
        }
        if (a.mSelector == kProcessBundleID) {
            if (hints != nullptr) {
                *hints = process->hints;
            }
            Found found;
            found.text = "";
            return found;
        }
        return failed(kAudioHardwareUnknownPropertyError);
    }
    if (const SinkRecord* sink = table.device(object)) {
        if (a.mSelector == kDeviceUID) {
            Found found;
            found.text = sink->name;
            return found;
        }
        if (a.mSelector == kDeviceName) {
            Found found;
            found.text = sink->description.empty() ? sink->name : sink->description;
            return found;
        }
        if (a.mSelector == kDeviceStreams)
            return listOf({});
        return failed(kAudioHardwareUnknownPropertyError);
    }
    if (const Aggregate* agg = aggregate(object)) {
        if (a.mSelector == kDeviceUID) {
            Found found;
            found.text = agg->uid;
            return found;
        }
        if (a.mSelector == kDeviceStreams && a.mScope == kScopeInput) {
            return listOf(aggregateInputs(*agg));
        }
        if (a.mSelector == kDeviceStreams)
            return listOf({});
        return failed(kAudioHardwareUnknownPropertyError);
    }
    return failed(kAudioHardwareBadObjectError);
}

// An aggregate device's input streams: its master has none (a sink has no
// inputs), so only its tap's.
std::vector<AudioObjectID> Impl::aggregateInputs(const Aggregate& agg) const {
    const auto tap = tapSinks.taps().find(agg.tap);
    if (tap == tapSinks.taps().end()) {
        return {};
    }
    return {tap->second.stream};
}

Impl::IOProc* Impl::procOn(AudioObjectID device, AudioDeviceIOProcID id) {
    const auto it = procs.find(id);
    return it == procs.end() || it->second->device != device ? nullptr : it->second.get();
}

}  // namespace morvale::pulse
