// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: the object catalogue. Server events and info
// replies about clients, sinks and sink-inputs keep the ObjectTable current;
// their records are read from the info replies here.

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

namespace {

std::optional<std::string> prop(const pa_proplist* list, const char* key) {
    if (list == nullptr) {
        return std::nullopt;
    }
    const char* value = pa_proplist_gets(list, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::int32_t> intProp(const pa_proplist* list, const char* key) {
    const auto text = prop(list, key);
    if (!text || text->empty() || text->size() > 9 ||
        text->find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::stol(*text));
}

// PipeWire names the period a stream asked for ("1920/48000"); PulseAudio
// tells how much audio the stream keeps queued, of which the sink's own
// latency it asked for is a part (about a quarter for the usual buffer sizes).
std::chrono::microseconds streamLatency(const pa_sink_input_info& info) {
    if (const auto text = prop(info.proplist, kNodeLatencyKey)) {
        if (const auto period = periodOf(*text)) {
            return *period;
        }
    }
    return std::chrono::microseconds(info.buffer_usec / 4);
}

}  // namespace

void Impl::onEvent(pa_subscription_event_type_t type, std::uint32_t index) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    const Event event = kind == PA_SUBSCRIPTION_EVENT_NEW      ? Event::added
                        : kind == PA_SUBSCRIPTION_EVENT_REMOVE ? Event::removed
                                                               : Event::changed;
    switch (facility) {
        case PA_SUBSCRIPTION_EVENT_CLIENT:
            follow(event, index, &pa_context_get_client_info);
            break;
        case PA_SUBSCRIPTION_EVENT_SINK:
            follow(event, index, &pa_context_get_sink_info_by_index);
            break;
        case PA_SUBSCRIPTION_EVENT_SINK_INPUT:
            follow(event, index, &pa_context_get_sink_input_info);
            if (event == Event::removed) {
                tapSinks.inputGone(index);
            }
            break;
        case PA_SUBSCRIPTION_EVENT_SOURCE:
            follow(event, index, &pa_context_get_source_info_by_index);
            break;
        case PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT:
            follow(event, index, &pa_context_get_source_output_info);
            break;
        case PA_SUBSCRIPTION_EVENT_MODULE:
            onModuleEvent(event, index);
            break;
        case PA_SUBSCRIPTION_EVENT_SERVER:
            connection.expectList();  // not part of the first sync once it is done
            forget(pa_context_get_server_info(connection.context(), &Impl::serverInfoShim, this));
            break;
        default:
            break;
    }
    if (event == Event::removed) {
        reconcile();
    }
    connection.wake();
}

void Impl::serverInfoShim(pa_context*, const pa_server_info* info, void* data) {
    auto* impl = static_cast<Impl*>(data);
    if (info != nullptr) {
        impl->table.setDefaultSinkName(info->default_sink_name ? info->default_sink_name : "");
        impl->pipeWire = servedByPipeWire(info->server_name ? info->server_name : "");
        impl->tapSinks.setSinkRoom(impl->pipeWire ? std::numeric_limits<std::size_t>::max()
                                                  : kPulseSinkRoom);
        impl->reconcile();
    }
    impl->connection.listDone();
}

ClientRecord Impl::recordOf(const pa_client_info& info) const {
    ClientRecord record;
    record.index = info.index;
    record.ours =
        info.index == connection.ownClient() || prop(info.proplist, kClientKey).has_value();
    PidClaim claim;
    claim.securePid = intProp(info.proplist, kSecurePidKey);
    claim.reportedPid = intProp(info.proplist, PA_PROP_APPLICATION_PROCESS_ID);
    claim.binary = prop(info.proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
    claim.host = prop(info.proplist, PA_PROP_APPLICATION_PROCESS_HOST);
    record.pid = record.ours ? 0 : facts.hostPid(claim);
    record.hints.pid = record.pid;
    record.hints.portalAppId = prop(info.proplist, kPortalAppIdKey);
    record.hints.applicationId = prop(info.proplist, PA_PROP_APPLICATION_ID);
    record.hints.binary = claim.binary;
    record.hints.applicationName = prop(info.proplist, PA_PROP_APPLICATION_NAME);
    return record;
}

SinkRecord Impl::recordOf(const pa_sink_info& info) const {
    SinkRecord record;
    record.index = info.index;
    record.name = info.name ? info.name : "";
    record.description = info.description ? info.description : "";
    record.monitorName = info.monitor_source_name ? info.monitor_source_name : "";
    record.ownerModule = info.owner_module;
    record.rate = info.sample_spec.rate;
    record.channels = info.sample_spec.channels;
    char map[PA_CHANNEL_MAP_SNPRINT_MAX];
    pa_channel_map_snprint(map, sizeof map, &info.channel_map);
    record.channelMap = map;
    record.tapUuid = prop(info.proplist, kTapKey).value_or("");
    record.tapOwnerPid = intProp(info.proplist, kOwnerPidKey).value_or(0);
    record.tapOwnerStart = prop(info.proplist, kOwnerStartKey).value_or("");
    return record;
}

bool Impl::ownStream(std::uint32_t client, const pa_proplist* properties) const {
    return (connection.ownClient() != kNoIndex && client == connection.ownClient()) ||
           prop(properties, kStreamKey).has_value();
}

// Only streams of this connection: another instance's are its own to keep.
// PipeWire's server lists a new stream at volume 0 until it is linked, and a
// volume set on it then keeps it from starting: there it is left alone.
void Impl::keepLevel(const pa_sink_input_info& info) {
    if (pipeWire || info.client == kNoIndex || info.client != connection.ownClient() ||
        atFullLevel(info.volume, info.mute != 0)) {
        return;
    }
    const pa_cvolume full = fullVolume(info.volume.channels);
    forget(pa_context_set_sink_input_volume(connection.context(), info.index, &full, nullptr,
                                            nullptr));
    forget(pa_context_set_sink_input_mute(connection.context(), info.index, 0, nullptr, nullptr));
}

SinkInputRecord Impl::recordOf(const pa_sink_input_info& info) const {
    SinkInputRecord record;
    record.index = info.index;
    record.client = info.client;
    record.sink = info.sink;
    record.corked = info.corked != 0;
    record.latency = streamLatency(info);
    record.ours = ownStream(info.client, info.proplist);
    record.phone = prop(info.proplist, PA_PROP_MEDIA_ROLE) == kCallRole;
    record.mirror = prop(info.proplist, kStreamKey) == kMirrorStream;
    record.restoreKey = prop(info.proplist, kRestoreIdKey).value_or("");
    return record;
}

}  // namespace morvale::pulse
