// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/memory/GainCleanup.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/raw.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <spa/pod/parser.h>
#include <spa/utils/result.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/linux/FileIo.h"
#include "platform/pipewire/memory/GainJournal.h"
#include "platform/pipewire/memory/WirePlumberState.h"

// libpipewire's method and event macros cast in C's way inside our code.
#pragma GCC diagnostic ignored "-Wold-style-cast"
// spa_pod_builder_add_object takes its values through C varargs.
#pragma GCC diagnostic ignored "-Wdouble-promotion"

namespace morvale::pipewire {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long a node made to reset a key waits for WirePlumber to restore the
// stored value onto it before setting 1.0 anyway (WirePlumber restores within
// a few milliseconds of the node's appearance).
constexpr auto kRestoreWait = 1500ms;

std::string join(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

// Builds a Props object with the adapter's master volume and, for a node made
// to reset a key, the application's own stored values, so that what
// WirePlumber saves from it is its entry with only the volume changed.
struct PropsPod {
    explicit PropsPod(float volume, const StoredStream* own = nullptr) {
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, buffer, sizeof buffer);
        spa_pod_frame frame{};
        spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
        spa_pod_builder_prop(&builder, SPA_PROP_volume, 0);
        spa_pod_builder_float(&builder, volume);
        if (own != nullptr && own->mute) {
            spa_pod_builder_prop(&builder, SPA_PROP_mute, 0);
            spa_pod_builder_bool(&builder, *own->mute);
        }
        if (own != nullptr && !own->channelVolumes.empty() &&
            own->channelVolumes.size() <= SPA_AUDIO_MAX_CHANNELS) {
            spa_pod_builder_prop(&builder, SPA_PROP_channelVolumes, 0);
            spa_pod_builder_array(&builder, sizeof(float), SPA_TYPE_Float,
                                  static_cast<std::uint32_t>(own->channelVolumes.size()),
                                  own->channelVolumes.data());
        }
        pod = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    }
    std::uint8_t buffer[1024]{};
    const spa_pod* pod = nullptr;
};

// What a node's Props report of the values a reset cares about.
struct PropsSeen {
    std::optional<float> volume;
    std::optional<bool> mute;
    std::vector<float> channelVolumes;
};

std::optional<PropsSeen> propsOf(const spa_pod* param) {
    if (param == nullptr || !spa_pod_is_object_type(param, SPA_TYPE_OBJECT_Props)) {
        return std::nullopt;
    }
    PropsSeen seen;
    const auto* object = reinterpret_cast<const spa_pod_object*>(param);
    const spa_pod_prop* prop = nullptr;
    SPA_POD_OBJECT_FOREACH(object, prop) {
        if (prop->key == SPA_PROP_volume) {
            float volume = 0;
            if (spa_pod_get_float(&prop->value, &volume) >= 0) {
                seen.volume = volume;
            }
        } else if (prop->key == SPA_PROP_mute) {
            bool mute = false;
            if (spa_pod_get_bool(&prop->value, &mute) >= 0) {
                seen.mute = mute;
            }
        } else if (prop->key == SPA_PROP_channelVolumes) {
            float values[SPA_AUDIO_MAX_CHANNELS];
            const std::uint32_t n =
                spa_pod_copy_array(&prop->value, SPA_TYPE_Float, values, SPA_AUDIO_MAX_CHANNELS);
            seen.channelVolumes.assign(values, values + n);
        }
    }
    return seen;
}

bool sameVolumes(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](float x, float y) { return std::abs(x - y) < 1e-4f; });
}

// Whether a node (or a stored entry) holds full volume: what the reset is for.
bool holdsReset(const PropsSeen& seen) {
    return seen.volume && isFullVolume(static_cast<double>(*seen.volume));
}

// Whether it also holds the application's own channel volumes and mute, where
// the entry had them.
bool keepsOwnValues(const PropsSeen& seen, const StoredStream& own) {
    return (own.channelVolumes.empty() ||
            sameVolumes(seen.channelVolumes, own.channelVolumes)) &&
           (!own.mute || seen.mute == own.mute);
}

// One connection to the daemon, driven by hand from the calling thread.
class Session {
public:
    Session() {
        pw_init(nullptr, nullptr);
        loop_ = pw_main_loop_new(nullptr);
        if (loop_ == nullptr) {
            return;
        }
        context_ = pw_context_new(pw_main_loop_get_loop(loop_), nullptr, 0);
        if (context_ == nullptr) {
            return;
        }
        core_ = pw_context_connect(context_, nullptr, 0);
        if (core_ == nullptr) {
            connectError_ = errno;
            return;
        }
        static const pw_core_events coreEvents = [] {
            pw_core_events events{};
            events.version = PW_VERSION_CORE_EVENTS;
            events.info = [](void* data, const pw_core_info* info) {
                auto* self = static_cast<Session*>(data);
                self->cookie_ = info->cookie;
            };
            events.done = [](void* data, std::uint32_t id, int seq) {
                auto* self = static_cast<Session*>(data);
                if (id == PW_ID_CORE) {
                    self->doneSeq_ = seq;
                }
            };
            events.error = [](void* data, std::uint32_t id, int, int res, const char* message) {
                auto* self = static_cast<Session*>(data);
                if (id == PW_ID_CORE) {
                    self->broken_ = true;
                    self->errorText_ = message != nullptr ? message : spa_strerror(res);
                }
            };
            return events;
        }();
        pw_core_add_listener(core_, &coreListener_, &coreEvents, this);
        registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events registryEvents = [] {
            pw_registry_events events{};
            events.version = PW_VERSION_REGISTRY_EVENTS;
            events.global = [](void* data, std::uint32_t id, std::uint32_t, const char* type,
                               std::uint32_t, const spa_dict* props) {
                auto* self = static_cast<Session*>(data);
                if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 || props == nullptr) {
                    return;
                }
                const char* serial = spa_dict_lookup(props, PW_KEY_OBJECT_SERIAL);
                if (serial != nullptr) {
                    self->nodesBySerial_[std::strtoull(serial, nullptr, 10)] = id;
                }
            };
            events.global_remove = [](void* data, std::uint32_t id) {
                auto* self = static_cast<Session*>(data);
                std::erase_if(self->nodesBySerial_, [id](const auto& n) { return n.second == id; });
            };
            return events;
        }();
        pw_registry_add_listener(registry_, &registryListener_, &registryEvents, this);
    }

    ~Session() {
        for (auto& node : nodes_) {
            spa_hook_remove(&node->listener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(node->proxy));
        }
        nodes_.clear();
        if (registry_ != nullptr) {
            spa_hook_remove(&registryListener_);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
        }
        if (core_ != nullptr) {
            spa_hook_remove(&coreListener_);
            pw_core_disconnect(core_);
        }
        if (context_ != nullptr) {
            pw_context_destroy(context_);
        }
        if (loop_ != nullptr) {
            pw_main_loop_destroy(loop_);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool connected() const { return core_ != nullptr && !broken_; }
    std::string failure() const {
        if (core_ == nullptr) {
            return std::string("cannot connect to PipeWire: ") +
                   spa_strerror(-(connectError_ != 0 ? connectError_ : EIO));
        }
        return "PipeWire reported an error: " + errorText_;
    }
    std::optional<std::uint32_t> cookie() const { return cookie_; }

    // Runs the loop until `done` or the deadline; returns done().
    bool runUntil(const std::function<bool()>& done, Clock::time_point deadline) {
        pw_loop* loop = pw_main_loop_get_loop(loop_);
        pw_loop_enter(loop);
        while (!done() && connected() && Clock::now() < deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pw_loop_iterate(loop, static_cast<int>(std::clamp<long long>(left.count(), 0, 20)));
        }
        pw_loop_leave(loop);
        return done();
    }
    // Waits until the daemon has handled everything sent so far.
    bool roundTrip(Clock::time_point deadline) {
        const int seq = pw_core_sync(core_, PW_ID_CORE, 0);
        return runUntil([&] { return doneSeq_ == seq; }, deadline);
    }

    std::optional<std::uint32_t> nodeIdOfSerial(std::uint64_t serial) const {
        const auto found = nodesBySerial_.find(serial);
        return found == nodesBySerial_.end() ? std::nullopt : std::optional(found->second);
    }

    // A node whose Props are followed: bound from the registry, or made here.
    struct Node {
        pw_node* proxy = nullptr;
        spa_hook listener{};
        std::optional<float> volume;  // as last reported
        PropsSeen props;
        int propsEvents = 0;
    };

    Node& bind(std::uint32_t id) {
        return follow(static_cast<pw_node*>(
            pw_registry_bind(registry_, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0)));
    }
    Node& make(const spa_dict& properties) {
        return follow(static_cast<pw_node*>(pw_core_create_object(
            core_, "adapter", PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, &properties, 0)));
    }
    static void setVolume(Node& node, float volume, const StoredStream* own = nullptr) {
        const PropsPod pod(volume, own);
        if (pod.pod != nullptr) {
            pw_node_set_param(node.proxy, SPA_PARAM_Props, 0, pod.pod);
        }
    }

private:
    Node& follow(pw_node* proxy) {
        auto node = std::make_unique<Node>();
        node->proxy = proxy;
        static const pw_node_events nodeEvents = [] {
            pw_node_events events{};
            events.version = PW_VERSION_NODE_EVENTS;
            events.param = [](void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
                              const spa_pod* param) {
                auto* followed = static_cast<Node*>(data);
                if (id != SPA_PARAM_Props) {
                    return;
                }
                if (auto seen = propsOf(param); seen && seen->volume) {
                    followed->volume = seen->volume;
                    followed->props = std::move(*seen);
                    ++followed->propsEvents;
                }
            };
            return events;
        }();
        if (proxy != nullptr) {
            pw_node_add_listener(proxy, &node->listener, &nodeEvents, node.get());
            std::uint32_t ids[] = {SPA_PARAM_Props};
            pw_node_subscribe_params(proxy, ids, 1);
        }
        nodes_.push_back(std::move(node));
        return *nodes_.back();
    }

    pw_main_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_registry* registry_ = nullptr;
    spa_hook coreListener_{};
    spa_hook registryListener_{};
    int connectError_ = 0;
    bool broken_ = false;
    std::string errorText_;
    std::optional<std::uint32_t> cookie_;
    int doneSeq_ = -1;
    std::map<std::uint64_t, std::uint32_t> nodesBySerial_;
    std::vector<std::unique_ptr<Node>> nodes_;
};

// The properties of a node that WirePlumber gives the same key as `key` and
// that nobody links, plays or lists as an application: an adapter over a null
// node inside the daemon, with exactly these properties (a stream of ours
// would carry this program's application.name), gone with this connection.
std::vector<std::pair<std::string, std::string>> forgetNodeProperties(const StreamKey& key,
                                                                      const StoredStream& own) {
    std::vector<std::pair<std::string, std::string>> properties(key.properties.begin(),
                                                                key.properties.end());
    const auto add = [&](const char* name, std::string value) {
        if (!key.properties.contains(name)) {
            properties.emplace_back(name, std::move(value));
        }
    };
    add(PW_KEY_FACTORY_NAME, "support.null-audio-sink");
    add(PW_KEY_NODE_AUTOCONNECT, "false");
    add(PW_KEY_NODE_DONT_RECONNECT, "true");
    add(PW_KEY_OBJECT_LINGER, "false");
    add("node.passive", "true");
    // The stored channels, so that the application's own channel volumes fit
    // and the channel map saved back is the one stored.
    std::string position;
    for (const auto& channel : own.channelMap) {
        position += (position.empty() ? "" : ",") + channel;
    }
    const std::size_t channels =
        !own.channelMap.empty() ? own.channelMap.size()
                                : (!own.channelVolumes.empty() ? own.channelVolumes.size() : 2);
    add("audio.channels", std::to_string(channels));
    add("audio.position", !position.empty() ? position : (channels == 1 ? "MONO" : "FL,FR"));
    // node.name is the last property a key can be named by, so it only
    // matters when the key itself carries it.
    add(PW_KEY_NODE_NAME, "morvale-cleanup");
    return properties;
}

}  // namespace

CleanupResult cleanUpJournal(const std::string& journalPath, std::chrono::milliseconds timeout) {
    return cleanUpJournal(journalPath, wirePlumberStateFolder(), timeout);
}

CleanupResult cleanUpJournal(const std::string& journalPath, const std::string& wirePlumberState,
                             std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    CleanupResult result;
    // Read once: the text decides both what is undone and, at the end,
    // whether the file is still the one undone.
    const auto file = LinuxDesktop::readWholeFile(journalPath, 4 << 20);
    const std::string readText = file.text;
    JournalContents journal = file.error == 0 ? parseJournal(readText) : readJournal(journalPath);
    std::vector<std::string> problems = journal.problems;
    if (!journal.isJournal) {
        result.error = join(problems);
        return result;
    }
    const auto finish = [&](bool undone) {
        // A journal rewritten meanwhile (a new run of the program, started
        // while this cleanup ran) is that run's: it stays.
        if (undone && LinuxDesktop::readWholeFile(journalPath, 4 << 20).text != readText) {
            undone = false;
        }
        if (undone) {
            if (::unlink(journalPath.c_str()) == 0 || errno == ENOENT) {
                result.journalRemoved = true;
            } else {
                problems.push_back("cannot remove " + journalPath + ": " +
                                   LinuxDesktop::osErrorText(errno));
            }
        }
        result.error = join(problems);
        return result;
    };
    // A journal whose owner still runs is not stale: a second start of the
    // program must not undo the gains of the first.
    if (journal.owner && journal.owner != thisProcess() && ownerRuns(*journal.owner)) {
        result.error = "the journal belongs to a process that still runs (pid " +
                       std::to_string(journal.owner->pid) + ")";
        return result;
    }
    if (journal.nodes.empty() && journal.keys.empty()) {
        return finish(true);
    }

    Session session;
    if (!session.connected() || !session.roundTrip(deadline) || !session.cookie()) {
        problems.push_back(session.connected() ? "PipeWire did not answer in time"
                                               : session.failure());
        return finish(false);
    }

    // The nodes still alive on the daemon they were set on. A node that is
    // lowered gets 1.0, and WirePlumber saves that under its key by itself; a
    // node already at 1.0 sends no change, so its key needs the other way.
    std::set<std::string> keysSavedByLiveNodes;
    if (journal.daemon == session.cookie()) {
        std::vector<std::pair<Session::Node*, std::string>> live;
        for (const auto& [serial, keyText] : journal.nodes) {
            if (const auto id = session.nodeIdOfSerial(serial)) {
                live.emplace_back(&session.bind(*id), keyText);
            }
        }
        if (!live.empty() && !session.roundTrip(deadline)) {
            problems.push_back("PipeWire did not list the live streams in time");
            return finish(false);
        }
        for (auto& [node, keyText] : live) {
            if (node->volume && isFullVolume(static_cast<double>(*node->volume))) {
                continue;
            }
            Session::setVolume(*node, 1.0f);
            keysSavedByLiveNodes.insert(keyText);
            ++result.nodesReset;
        }
        if (result.nodesReset > 0 && !session.roundTrip(deadline)) {
            problems.push_back("PipeWire did not confirm the reset of live streams in time");
            return finish(false);
        }
    }

    // The keys whose stored volume is still ours.
    StoredVolumes stored = readStoredVolumes(wirePlumberState);
    // WirePlumber's own file is not ours to judge: what made no sense in it
    // is said, and does not make the cleanup fail.
    for (auto& problem : stored.problems) {
        result.notice += (result.notice.empty() ? "" : "; ") + ("WirePlumber's state: " + problem);
    }
    std::map<std::string, double> pending;
    for (const auto& [text, key] : journal.keys) {
        const auto found = stored.volumes.find(text);
        if (found != stored.volumes.end() && !isFullVolume(found->second)) {
            pending.emplace(text, found->second);
        }
    }
    // The nodes made to reset keys, and what each must hold until saved.
    struct Resetting {
        Session::Node* node;
        StoredStream own;
        int eventsSeen;
        int retries = 0;
    };
    std::vector<Resetting> resetting;
    std::map<std::string, StoredStream> wanted;
    for (const auto& [text, volume] : pending) {
        wanted[text] = stored.streams[text];
    }
    for (const auto& [text, volume] : pending) {
        if (keysSavedByLiveNodes.contains(text)) {
            continue;  // the live node's reset is saved by WirePlumber itself
        }
        const StoredStream& own = stored.streams[text];
        const auto properties = forgetNodeProperties(journal.keys.at(text), own);
        std::vector<spa_dict_item> items;
        for (const auto& [name, value] : properties) {
            items.push_back(SPA_DICT_ITEM_INIT(name.c_str(), value.c_str()));
        }
        const spa_dict dict = SPA_DICT_INIT(items.data(), static_cast<std::uint32_t>(items.size()));
        Session::Node& node = session.make(dict);
        if (node.proxy == nullptr) {
            problems.push_back("cannot make a node to reset " + text);
            continue;
        }
        // WirePlumber's restore arrives as a Props change (the first event is
        // the node's own initial value): the stored value, or 1.0 when a live
        // node's reset got there first. A 1.0 set before it would be
        // overwritten and saved back.
        const auto restored = [&, text = text, volume = volume] {
            if (node.volume && std::abs(static_cast<double>(*node.volume) - volume) < 1e-4) {
                return true;
            }
            if (node.propsEvents >= 2) {
                return true;
            }
            const auto now = readStoredVolumes(wirePlumberState).volumes;
            const auto found = now.find(text);
            return found != now.end() && isFullVolume(found->second);
        };
        session.runUntil(restored, std::min(deadline, Clock::now() + kRestoreWait));
        // Not only the volume: should the restore not have taken, WirePlumber
        // would save the node's defaults over the application's own volumes
        // and mute (it does on PipeWire 1.4, see below).
        Session::setVolume(node, 1.0f, &own);
        resetting.push_back({&node, own, node.propsEvents, 0});
    }
    if (!session.roundTrip(deadline)) {
        problems.push_back("PipeWire did not confirm the resets in time");
        return finish(false);
    }

    // WirePlumber saves a second after the last change it saw.
    // Whatever changes a reset node's Props afterwards, it gets the reset
    // again (a few times at most), as the backend holds a gain.
    const auto hold = [&] {
        for (auto& entry : resetting) {
            if (entry.node->propsEvents != entry.eventsSeen && entry.retries < 3 &&
                (!holdsReset(entry.node->props) ||
                 !keepsOwnValues(entry.node->props, entry.own))) {
                Session::setVolume(*entry.node, 1.0f, &entry.own);
                ++entry.retries;
            }
            entry.eventsSeen = entry.node->propsEvents;
        }
    };
    const auto allSaved = [&] {
        stored = readStoredVolumes(wirePlumberState);
        for (const auto& [text, own] : wanted) {
            const auto found = stored.streams.find(text);
            if (found == stored.streams.end() || !found->second.volume) {
                continue;  // nothing stored, nothing of ours
            }
            PropsSeen now;
            now.volume = static_cast<float>(*found->second.volume);
            now.mute = found->second.mute;
            now.channelVolumes = found->second.channelVolumes;
            if (!holdsReset(now)) {
                return false;
            }
        }
        return true;
    };
    bool saved = allSaved();
    while (!saved && Clock::now() < deadline && session.connected()) {
        session.runUntil([] { return false; }, std::min(deadline, Clock::now() + 50ms));
        hold();
        saved = allSaved();
    }
    if (!saved) {
        std::string keys;
        for (const auto& [text, volume] : stored.volumes) {
            if (pending.contains(text) && !isFullVolume(volume)) {
                keys += (keys.empty() ? "" : ", ") + text;
            }
        }
        problems.push_back("WirePlumber still stores a lowered volume for " + keys);
        return finish(false);
    }
    // PipeWire 1.4 keeps a node made inside the daemon, unlinked, at its
    // default channel volumes and mute, whatever is set: where the
    // application's own ones were stored, WirePlumber now stores the defaults.
    // Said, not hidden.
    for (const auto& [text, own] : wanted) {
        const auto found = stored.streams.find(text);
        if (found != stored.streams.end()) {
            PropsSeen now;
            now.mute = found->second.mute;
            now.channelVolumes = found->second.channelVolumes;
            if (!keepsOwnValues(now, own)) {
                result.notice += (result.notice.empty() ? "" : "; ") +
                                 std::string("the application's own volume or mute stored for ") +
                                 text + " went back to its default";
            }
        }
    }
    result.keysReset = static_cast<int>(pending.size());
    return finish(true);
}

}  // namespace morvale::pipewire
