// SPDX-License-Identifier: GPL-3.0-or-later
// PipeWireAudioSystem::Impl: the connection, and the registry and info events
// that keep the PwGraph current.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/FourCC.h"
#include "platform/pipewire/PwImpl.h"

namespace morvale::pipewire {

namespace {

constexpr std::string_view kDefaultSinkKey = "default.audio.sink";
// WirePlumber 0.5 publishes its settings here; 0.4 has no such metadata.
constexpr std::string_view kSettingsMetadata = "sm-settings";
constexpr std::string_view kDuckLevelKey = "linking.role-based.duck-level";
// WirePlumber 0.4's session endpoints (the session-manager extension's type).
constexpr std::string_view kEndpointType = "PipeWire:Interface:Endpoint";

timespec durationSpec(std::chrono::milliseconds d) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(d.count() / 1000);
    t.tv_nsec = static_cast<long>((d.count() % 1000) * 1000000);
    return t;
}

// {"name":"alsa_output.pci-0000_00_1f.3.analog-stereo"} -> the name.
std::string nameInJson(const char* json) {
    if (json == nullptr) {
        return {};
    }
    const std::string text(json);
    const auto key = text.find("\"name\"");
    if (key == std::string::npos) {
        return {};
    }
    const auto open = text.find('"', text.find(':', key));
    if (open == std::string::npos) {
        return {};
    }
    std::string name;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            name += text[++i];
        } else if (text[i] == '"') {
            return name;
        } else {
            name += text[i];
        }
    }
    return {};
}

// ---- libpipewire's callbacks, into Impl ----

void coreInfo(void* data, const pw_core_info* info) {
    static_cast<Impl*>(data)->onCoreInfo(info);
}

void coreDone(void* data, std::uint32_t id, int seq) {
    static_cast<Impl*>(data)->onDone(id, seq);
}

void coreError(void* data, std::uint32_t id, int, int res, const char* message) {
    auto* impl = static_cast<Impl*>(data);
    if (id == PW_ID_CORE && res == -EPIPE) {
        impl->lost(message != nullptr ? message : "connection lost");
    }
}

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.info = &coreInfo;
    events.done = &coreDone;
    events.error = &coreError;
    return events;
}();

void registryGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
                    const spa_dict* props) {
    static_cast<Impl*>(data)->onGlobal(id, type, props);
}

void registryGlobalRemove(void* data, std::uint32_t id) {
    static_cast<Impl*>(data)->onGlobalRemove(id);
}

const pw_registry_events kRegistryEvents = [] {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global = &registryGlobal;
    events.global_remove = &registryGlobalRemove;
    return events;
}();

void clientInfo(void* data, const pw_client_info* info) {
    auto* b = static_cast<Impl::Bound*>(data);
    b->impl->onClientInfo(*b, info);
}

const pw_client_events kClientEvents = [] {
    pw_client_events events{};
    events.version = PW_VERSION_CLIENT_EVENTS;
    events.info = &clientInfo;
    return events;
}();

void nodeInfo(void* data, const pw_node_info* info) {
    auto* b = static_cast<Impl::Bound*>(data);
    b->impl->onNodeInfo(*b, info);
}

void nodeParam(void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
               const spa_pod* param) {
    auto* b = static_cast<Impl::Bound*>(data);
    if (id == SPA_PARAM_Props) {
        b->impl->onNodeParam(*b, param);
    }
}

const pw_node_events kNodeEvents = [] {
    pw_node_events events{};
    events.version = PW_VERSION_NODE_EVENTS;
    events.info = &nodeInfo;
    events.param = &nodeParam;
    return events;
}();

int metadataProperty(void* data, std::uint32_t subject, const char* key, const char*,
                     const char* value) {
    auto* b = static_cast<Impl::Bound*>(data);
    if (subject != PW_ID_CORE) {
        return 0;
    }
    if (b->kind == Impl::Bound::Kind::settings) {
        b->impl->onSettingsProperty(key, value);
    } else {
        b->impl->onMetadataProperty(key, value);
    }
    return 0;
}

const pw_metadata_events kMetadataEvents = [] {
    pw_metadata_events events{};
    events.version = PW_VERSION_METADATA_EVENTS;
    events.property = &metadataProperty;
    return events;
}();

void retryShim(void* data, std::uint64_t) {
    auto* impl = static_cast<Impl*>(data);
    impl->disconnect();
    impl->connect();
}

void rampShim(void* data, std::uint64_t) {
    static_cast<Impl*>(data)->onRampTick();
}

}  // namespace

std::optional<std::string> dictValue(const spa_dict* dict, const char* key) {
    const char* value = dict != nullptr ? spa_dict_lookup(dict, key) : nullptr;
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::int32_t> dictInt(const spa_dict* dict, const char* key) {
    const auto text = dictValue(dict, key);
    if (!text || text->empty() || text->size() > 9 ||
        text->find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::stol(*text));
}

Impl::Impl(const LinuxDesktop::AppIdentifier& appIdentifier, Options chosen)
    : identifier(appIdentifier),
      options(std::move(chosen)),
      identities([this](const LinuxDesktop::ClientHints& hints) { return identify(hints); },
                 [this] {
                     Lock lock(loop);
                     changed();
                 }) {
    pw_init(nullptr, nullptr);
    loop = pw_thread_loop_new("morvale-pipewire", nullptr);
    context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
    if (!options.journalPath.empty()) {
        journal.emplace(options.journalPath);
    }
    retryTimer = pw_loop_add_timer(pw_thread_loop_get_loop(loop), &retryShim, this);
    rampTimer = pw_loop_add_timer(pw_thread_loop_get_loop(loop), &rampShim, this);
}

Impl::~Impl() {
    identities.stop();
    pw_thread_loop_stop(loop);
    disconnect();
    pw_loop_destroy_source(pw_thread_loop_get_loop(loop), retryTimer);
    pw_loop_destroy_source(pw_thread_loop_get_loop(loop), rampTimer);
    pw_context_destroy(context);
    pw_thread_loop_destroy(loop);
}

void Impl::connect() {
    pw_properties* props = nullptr;
    if (!options.remote.empty()) {
        props = pw_properties_new(PW_KEY_REMOTE_NAME, options.remote.c_str(), nullptr);
    }
    core = pw_context_connect(context, props, 0);
    attempted = true;
    if (core == nullptr) {
        setState(ConnectionState::disconnected);
        scheduleRetry(options.retryInterval);
        pw_thread_loop_signal(loop, false);
        return;
    }
    setState(ConnectionState::connecting);
    pw_core_add_listener(core, &coreListener, &kCoreEvents, this);
    registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(registry, &registryListener, &kRegistryEvents, this);
    syncRounds = 0;
    syncSeq = pw_core_sync(core, PW_ID_CORE, 0);
}

// Drops the connection and everything bound on it. The stages stay, and
// hold their processes again on the next connection.
void Impl::disconnect() {
    for (auto& [id, b] : bound) {
        spa_hook_remove(&b->objectListener);
        pw_proxy_destroy(b->proxy);
    }
    bound.clear();
    // Node ids belong to the server that handed them out.
    routedNodes.clear();
    if (registry != nullptr) {
        spa_hook_remove(&registryListener);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
        registry = nullptr;
    }
    if (core != nullptr) {
        spa_hook_remove(&coreListener);
        pw_core_disconnect(core);
        core = nullptr;
    }
    graph.reset();
    endpoints.clear();
    duckLevel.reset();
}

void Impl::lost(const std::string&) {
    // The core may not be torn down inside its own callback: the retry timer
    // does it, at once.
    setState(ConnectionState::disconnected);
    scheduleRetry(std::chrono::milliseconds(1));
    pw_thread_loop_signal(loop, false);
}

void Impl::scheduleRetry(std::chrono::milliseconds after) {
    timespec value = durationSpec(after);
    timespec interval{};
    pw_loop_update_timer(pw_thread_loop_get_loop(loop), retryTimer, &value, &interval, false);
}

void Impl::setState(ConnectionState next) {
    if (state == next) {
        return;
    }
    state = next;
    if (next == ConnectionState::ready) {
        everReady = true;
    }
    if (observer) {
        observer(next);
    }
    // Processes came or went with the connection.
    tellListeners();
}

void Impl::onDone(std::uint32_t id, int seq) {
    if (id != PW_ID_CORE) {
        return;
    }
    if (seq == flushSeq) {
        flushed = true;
        pw_thread_loop_signal(loop, false);
    }
    if (seq != syncSeq || state == ConnectionState::ready) {
        return;
    }
    // The first round lists the globals; the second brings the infos of
    // what was bound in the first.
    if (++syncRounds < 2) {
        syncSeq = pw_core_sync(core, PW_ID_CORE, 0);
        return;
    }
    setState(ConnectionState::ready);
    changed();
    pw_thread_loop_signal(loop, false);
}

void Impl::onCoreInfo(const pw_core_info* info) {
    if (info != nullptr && journal) {
        journal->setDaemon(info->cookie);
    }
}

void Impl::flush() {
    if (core == nullptr || state != ConnectionState::ready) {
        return;
    }
    flushed = false;
    flushSeq = pw_core_sync(core, PW_ID_CORE, 0);
    timespec deadline{};
    pw_thread_loop_get_time(loop, &deadline,
                            static_cast<std::int64_t>(options.timeout.count()) * SPA_NSEC_PER_MSEC);
    while (!flushed && state == ConnectionState::ready) {
        if (pw_thread_loop_timed_wait_full(loop, &deadline) != 0) {
            break;
        }
    }
}

PwNode Impl::nodeFrom(std::uint32_t id, const spa_dict* props) const {
    PwNode node;
    node.id = id;
    node.kind = nodeKindOf(dictValue(props, PW_KEY_MEDIA_CLASS).value_or(""));
    node.client = static_cast<std::uint32_t>(dictInt(props, PW_KEY_CLIENT_ID).value_or(-1));
    node.name = dictValue(props, PW_KEY_NODE_NAME).value_or("");
    node.description = dictValue(props, PW_KEY_NODE_DESCRIPTION).value_or("");
    node.communication = dictValue(props, PW_KEY_MEDIA_ROLE) == "Communication";
    node.capturesSink = dictValue(props, PW_KEY_STREAM_CAPTURE_SINK) == "true";
    node.roleBasedTarget = dictValue(props, "policy.role-based.target") == "true";
    if (const auto claimed = dictInt(props, PW_KEY_APP_PROCESS_ID)) {
        pulse::PidClaim claim;
        claim.reportedPid = claimed;
        claim.binary = dictValue(props, PW_KEY_APP_PROCESS_BINARY);
        claim.host = dictValue(props, PW_KEY_APP_PROCESS_HOST);
        const std::int32_t pid = facts.hostPid(claim);
        node.pid = pid > 0 ? pid : -1;
    }
    node.hints.applicationId = dictValue(props, PW_KEY_APP_ID);
    node.hints.binary = dictValue(props, PW_KEY_APP_PROCESS_BINARY);
    node.hints.applicationName = dictValue(props, PW_KEY_APP_NAME);
    for (const char* key : {PW_KEY_MEDIA_CLASS, PW_KEY_MEDIA_ROLE, PW_KEY_APP_ID, PW_KEY_APP_NAME,
                            PW_KEY_MEDIA_NAME, PW_KEY_NODE_NAME}) {
        if (auto value = dictValue(props, key)) {
            node.memoryProperties[key] = std::move(*value);
        }
    }
    return node;
}

void Impl::onGlobal(std::uint32_t id, const char* type, const spa_dict* props) {
    const std::string kind = type != nullptr ? type : "";
    auto b = std::make_unique<Bound>();
    b->impl = this;
    b->id = id;
    if (kind == PW_TYPE_INTERFACE_Link) {
        PwLink link;
        link.id = id;
        link.outputNode = static_cast<std::uint32_t>(dictInt(props, PW_KEY_LINK_OUTPUT_NODE).value_or(-1));
        link.inputNode = static_cast<std::uint32_t>(dictInt(props, PW_KEY_LINK_INPUT_NODE).value_or(-1));
        graph.put(link);
        changed();
        return;
    }
    if (kind == PW_TYPE_INTERFACE_Client) {
        b->kind = Bound::Kind::client;
        b->proxy = static_cast<pw_proxy*>(
            pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Client, PW_VERSION_CLIENT, 0));
        if (b->proxy == nullptr) {
            return;
        }
        pw_proxy_add_object_listener(b->proxy, &b->objectListener, &kClientEvents, b.get());
        // Known from the global on: the info tells more.
        PwClient client;
        client.id = id;
        client.ours = dictInt(props, PW_KEY_SEC_PID) == ownPid;
        graph.put(std::move(client));
    } else if (kind == PW_TYPE_INTERFACE_Node) {
        PwNode node = nodeFrom(id, props);
        if (node.kind == NodeKind::other) {
            return;
        }
        b->kind = Bound::Kind::node;
        b->proxy = static_cast<pw_proxy*>(
            pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
        if (b->proxy == nullptr) {
            return;
        }
        pw_proxy_add_object_listener(b->proxy, &b->objectListener, &kNodeEvents, b.get());
        if (node.kind == NodeKind::playback) {
            std::uint32_t ids[] = {SPA_PARAM_Props};
            pw_node_subscribe_params(reinterpret_cast<pw_node*>(b->proxy), ids, 1);
        }
        b->node = node;
        b->serial = static_cast<std::uint64_t>(
            std::strtoull(dictValue(props, PW_KEY_OBJECT_SERIAL).value_or("0").c_str(), nullptr, 10));
        graph.put(std::move(node));
    } else if (kind == kEndpointType) {
        // Not bound: that it exists is all the ducking rule needs.
        endpoints.insert(id);
        return;
    } else if (kind == PW_TYPE_INTERFACE_Metadata &&
               (dictValue(props, PW_KEY_METADATA_NAME) == "default" ||
                dictValue(props, PW_KEY_METADATA_NAME) == kSettingsMetadata)) {
        b->kind = dictValue(props, PW_KEY_METADATA_NAME) == "default" ? Bound::Kind::metadata
                                                                      : Bound::Kind::settings;
        b->proxy = static_cast<pw_proxy*>(
            pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
        if (b->proxy == nullptr) {
            return;
        }
        pw_proxy_add_object_listener(b->proxy, &b->objectListener, &kMetadataEvents, b.get());
    } else {
        return;
    }
    bound[id] = std::move(b);
    changed();
}

void Impl::onGlobalRemove(std::uint32_t id) {
    endpoints.erase(id);
    routedNodes.erase(id);
    if (const auto it = bound.find(id); it != bound.end()) {
        if (journal && it->second->lowered) {
            journal->released(it->second->serial);
        }
        spa_hook_remove(&it->second->objectListener);
        pw_proxy_destroy(it->second->proxy);
        bound.erase(it);
    }
    graph.remove(id);
    changed();
}

void Impl::onClientInfo(Bound& b, const pw_client_info* info) {
    if (info == nullptr || (info->change_mask & PW_CLIENT_CHANGE_MASK_PROPS) == 0) {
        return;
    }
    const spa_dict* props = info->props;
    PwClient client;
    client.id = b.id;
    const auto securePid = dictInt(props, PW_KEY_SEC_PID);
    client.ours = securePid == ownPid;
    pulse::PidClaim claim;
    claim.securePid = securePid;
    claim.reportedPid = dictInt(props, PW_KEY_APP_PROCESS_ID);
    claim.binary = dictValue(props, PW_KEY_APP_PROCESS_BINARY);
    claim.host = dictValue(props, PW_KEY_APP_PROCESS_HOST);
    client.pid = client.ours ? 0 : facts.hostPid(claim);
    client.hints.pid = client.pid;
    client.hints.portalAppId = dictValue(props, "pipewire.access.portal.app_id");
    client.hints.applicationId = dictValue(props, PW_KEY_APP_ID);
    client.hints.binary = claim.binary;
    client.hints.applicationName = dictValue(props, PW_KEY_APP_NAME);
    // WirePlumber's version decides how it keys streams; it is read from the
    // library its process has mapped.
    if (dictValue(props, PW_KEY_APP_NAME) == "WirePlumber" && securePid) {
        if (const auto version = wirePlumberVersionOfProcess(*securePid)) {
            wirePlumber = *version;
        }
    }
    graph.put(std::move(client));
    changed();
}

void Impl::onNodeInfo(Bound& b, const pw_node_info* info) {
    if (info == nullptr) {
        return;
    }
    PwNode node = b.node;
    if ((info->change_mask & PW_NODE_CHANGE_MASK_PROPS) != 0 && info->props != nullptr) {
        node = nodeFrom(b.id, info->props);
        if (node.kind == NodeKind::other) {
            node.kind = b.node.kind;
        }
    }
    node.running = info->state == PW_NODE_STATE_RUNNING;
    b.node = node;
    graph.put(std::move(node));
    changed();
}

void Impl::onMetadataProperty(const char* key, const char* value) {
    if (key == nullptr) {
        graph.setDefaultSinkName({});  // everything was cleared
    } else if (key == kDefaultSinkKey) {
        graph.setDefaultSinkName(nameInJson(value));
    }
}

void Impl::onSettingsProperty(const char* key, const char* value) {
    if (key == nullptr || key == kDuckLevelKey) {
        duckLevel = value != nullptr && key != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
}

DuckingFacts Impl::duckingFacts() const {
    DuckingFacts shown;
    shown.endpoints = !endpoints.empty();
    shown.duckLevel = duckLevel;
    for (const auto& [id, node] : graph.nodes()) {
        shown.roleBasedTargets = shown.roleBasedTargets || node.roleBasedTarget;
    }
    return shown;
}

void Impl::changed() {
    if (state != ConnectionState::ready) {
        return;
    }
    applyGains();
    applyRoutes();
    tellListeners();
}

void Impl::tellListeners() {
    const std::uint64_t version = graph.version() + (state == ConnectionState::ready ? 0 : 1u << 31);
    if (version == toldVersion) {
        return;
    }
    toldVersion = version;
    const AudioObjectPropertyAddress address{kProcessObjectList, kScopeGlobal, kElementMain};
    for (const auto& [id, block] : listeners) {
        block(1, &address);
    }
}

}  // namespace morvale::pipewire
