// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: the role-based modules loaded on the server, and
// the call mirrors that let them treat tapped streams as untapped ones (see
// CallMirrors.h). Without such a module no mirror is made: they would only
// be streams for nothing (PipeWire's server has none of these modules).

#include <cstring>
#include <string>

#include "platform/pulse/taps/CallMirrors.h"
#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

namespace {

bool actsOnRoles(const pa_module_info& info) {
    return info.name != nullptr && (std::strcmp(info.name, "module-role-cork") == 0 ||
                                    std::strcmp(info.name, "module-role-ducking") == 0);
}

RoleModule roleModule(const pa_module_info& info) {
    return RoleModule{info.name, info.argument != nullptr ? info.argument : ""};
}

}  // namespace

void Impl::onModuleEvent(Event event, std::uint32_t index) {
    if (event == Event::removed) {
        if (roleModules.erase(index) > 0) {
            reconcile();
        }
        return;
    }
    if (event == Event::added) {
        forget(pa_context_get_module_info(connection.context(), index, &Impl::moduleShim, this));
    }
}

void Impl::moduleListShim(pa_context*, const pa_module_info* info, int eol, void* data) {
    auto* impl = static_cast<Impl*>(data);
    if (eol != 0) {
        impl->connection.listDone();
        return;
    }
    if (actsOnRoles(*info)) {
        impl->roleModules[info->index] = roleModule(*info);
    }
}

void Impl::moduleShim(pa_context*, const pa_module_info* info, int eol, void* data) {
    auto* impl = static_cast<Impl*>(data);
    if (eol == 0 && actsOnRoles(*info)) {
        impl->roleModules[info->index] = roleModule(*info);
        impl->reconcile();
    }
    impl->connection.wake();
}

void Impl::updateCallMirrors() {
    std::set<std::uint32_t> wanted;
    if (!roleModules.empty()) {
        // Where each capturing tap's replay plays.
        std::map<std::uint32_t, std::uint32_t> replays;
        for (const auto& [id, proc] : procs) {
            const Tap* tap = tapOf(*proc);
            if (tap == nullptr || !proc->path.hasReplay() || !capturing(*tap)) {
                continue;
            }
            const SinkRecord* tapSink = table.tapSink(tap->uuid);
            const SinkRecord* realSink = table.sinkByName(proc->path.replaySink());
            if (tapSink != nullptr && realSink != nullptr) {
                replays[tapSink->index] = realSink->index;
            }
        }
        wanted = callMirrorSinks(table, replays);
    }
    for (auto it = callMirrors.begin(); it != callMirrors.end();) {
        if (wanted.contains(it->first) && PA_STREAM_IS_GOOD(pa_stream_get_state(it->second))) {
            ++it;
            continue;
        }
        destroyStream(it->second);
        it = callMirrors.erase(it);
    }
    for (const std::uint32_t index : wanted) {
        if (!callMirrors.contains(index)) {
            makeCallMirror(*table.sink(index));
        }
    }
}

// A playback stream that never plays anything: uncorked, with the media role
// of a call, it is a call to role-based modules, and to nothing else.
bool Impl::makeCallMirror(const SinkRecord& sink) {
    pa_sample_spec format{PA_SAMPLE_FLOAT32LE, sink.rate != 0 ? sink.rate : 48000, 1};
    Proplist props;
    props.set(kStreamKey, std::string(kMirrorStream));
    props.set(kRestoreIdKey, "morvale-call-mirror");
    props.set(PA_PROP_MEDIA_ROLE, std::string(kCallRole));
    pa_stream* stream = pa_stream_new_with_proplist(
        connection.context(), "Morvale: call beside a tap", &format, nullptr, props.list);
    if (stream == nullptr) {
        return false;
    }
    const pa_cvolume full = fullVolume(format.channels);
    if (pa_stream_connect_playback(
            stream, sink.name.c_str(), nullptr,
            static_cast<pa_stream_flags_t>(PA_STREAM_DONT_MOVE | PA_STREAM_START_UNMUTED), &full,
            nullptr) < 0) {
        pa_stream_unref(stream);
        return false;
    }
    callMirrors[sink.index] = stream;
    return true;
}

void Impl::destroyCallMirrors() {
    for (auto& [sink, stream] : callMirrors) {
        destroyStream(stream);
    }
    callMirrors.clear();
}

}  // namespace morvale::pulse
