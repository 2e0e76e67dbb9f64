// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the PipeWire backend in real-server tests: it lowers one
// application's playback stream the way the backend does (watchdog first,
// then the journal, then the node's Props volume), holds it, and then ends as
// the test says:
//   SIGUSR1  resets the stream, cleans up through the journal and exits;
//   nothing (the test kills it) leaves the rest to the watchdog or the next start.
//
//   morvale_pipewire_gain_setter <journal> <application.name> <volume> [--no-watchdog]
//
// It prints "ready" once the watchdog has replayed an earlier journal, and
// "set <serial> <key>" once the gain is on the node.

#include <pipewire/pipewire.h>
#include <signal.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <spa/pod/parser.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/pipewire/memory/GainCleanup.h"
#include "platform/pipewire/memory/GainJournal.h"
#include "platform/pipewire/memory/GainWatchdog.h"
#include "platform/pipewire/memory/StreamKey.h"

#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wdouble-promotion"

using namespace morvale::pipewire;
using namespace std::chrono_literals;

namespace {

struct Node {
    pw_node* proxy = nullptr;
    spa_hook listener{};
    NodeProperties properties;
    std::uint64_t serial = 0;
    std::optional<float> volume;
    struct App* app = nullptr;
};

struct App {
    pw_main_loop* loop = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{};
    spa_hook registryListener{};
    std::uint32_t cookie = 0;
    std::string applicationName;
    std::map<std::uint32_t, std::unique_ptr<Node>> nodes;
    std::optional<pid_t> wirePlumberPid;
    float target = 1.0f;
    Node* held = nullptr;
};

void setVolume(Node& node, float volume) {
    std::uint8_t buffer[128];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    auto* pod = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props, SPA_PROP_volume, SPA_POD_Float(volume)));
    pw_node_set_param(node.proxy, SPA_PARAM_Props, 0, pod);
}

const pw_node_events nodeEvents = [] {
    pw_node_events events{};
    events.version = PW_VERSION_NODE_EVENTS;
    events.info = [](void* data, const pw_node_info* info) {
        auto* node = static_cast<Node*>(data);
        if (info->props == nullptr) {
            return;
        }
        const spa_dict_item* item = nullptr;
        spa_dict_for_each(item, info->props) {
            node->properties[item->key] = item->value != nullptr ? item->value : "";
        }
    };
    events.param = [](void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
                      const spa_pod* param) {
        auto* node = static_cast<Node*>(data);
        float volume = -1.0f;
        if (id != SPA_PARAM_Props ||
            spa_pod_parse_object(param, SPA_TYPE_OBJECT_Props, nullptr, SPA_PROP_volume,
                                 SPA_POD_OPT_Float(&volume)) < 0 ||
            volume < 0.0f) {
            return;
        }
        node->volume = volume;
        // Hold: whoever changes it (WirePlumber's restore, the client), it goes back.
        if (node->app->held == node && std::abs(volume - node->app->target) > 1e-4f) {
            setVolume(*node, node->app->target);
        }
    };
    return events;
}();

const pw_registry_events registryEvents = [] {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global = [](void* data, std::uint32_t id, std::uint32_t, const char* type,
                       std::uint32_t, const spa_dict* props) {
        auto* app = static_cast<App*>(data);
        if (props == nullptr) {
            return;
        }
        if (std::strcmp(type, PW_TYPE_INTERFACE_Client) == 0) {
            const char* name = spa_dict_lookup(props, PW_KEY_APP_NAME);
            const char* pid = spa_dict_lookup(props, PW_KEY_SEC_PID);
            if (name != nullptr && pid != nullptr && std::string_view(name) == "WirePlumber") {
                app->wirePlumberPid = static_cast<pid_t>(std::atoi(pid));
            }
            return;
        }
        const char* mediaClass = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 || mediaClass == nullptr ||
            std::string_view(mediaClass) != "Stream/Output/Audio") {
            return;
        }
        auto node = std::make_unique<Node>();
        node->app = app;
        const char* serial = spa_dict_lookup(props, PW_KEY_OBJECT_SERIAL);
        node->serial = serial != nullptr ? std::strtoull(serial, nullptr, 10) : 0;
        node->proxy = static_cast<pw_node*>(
            pw_registry_bind(app->registry, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
        pw_node_add_listener(node->proxy, &node->listener, &nodeEvents, node.get());
        std::uint32_t ids[] = {SPA_PARAM_Props};
        pw_node_subscribe_params(node->proxy, ids, 1);
        app->nodes[id] = std::move(node);
    };
    events.global_remove = [](void* data, std::uint32_t id) {
        auto* app = static_cast<App*>(data);
        const auto found = app->nodes.find(id);
        if (found != app->nodes.end()) {
            if (app->held == found->second.get()) {
                app->held = nullptr;
            }
            spa_hook_remove(&found->second->listener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(found->second->proxy));
            app->nodes.erase(found);
        }
    };
    return events;
}();

const pw_core_events coreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.info = [](void* data, const pw_core_info* info) {
        static_cast<App*>(data)->cookie = info->cookie;
    };
    return events;
}();

void iterate(App& app, std::chrono::milliseconds span) {
    pw_loop* loop = pw_main_loop_get_loop(app.loop);
    const auto end = std::chrono::steady_clock::now() + span;
    pw_loop_enter(loop);
    while (std::chrono::steady_clock::now() < end) {
        pw_loop_iterate(loop, 10);
    }
    pw_loop_leave(loop);
}

volatile sig_atomic_t quitAsked = 0;

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]).starts_with(kCleanupOption)) {
        return runCleanupCommand(argv[1]);
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <journal> <application.name> <volume> [--no-watchdog]\n",
                     argv[0]);
        return 2;
    }
    const std::string journalPath = argv[1];
    const bool withWatchdog = !(argc > 4 && std::string_view(argv[4]) == "--no-watchdog");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ::signal(SIGUSR1, [](int) { quitAsked = 1; });

    // The order the backend keeps: the watchdog before any library thread,
    // its replay before the journal is opened and before anything is set.
    std::unique_ptr<GainWatchdog> watchdog;
    if (withWatchdog) {
        watchdog = GainWatchdog::start(journalPath);
        if (!watchdog || !watchdog->waitUntilReplayed(10s)) {
            std::printf("no watchdog\n");
            return 1;
        }
    }
    std::printf("ready\n");
    GainJournal journal(journalPath);

    pw_init(&argc, &argv);
    App app;
    app.applicationName = argv[2];
    app.target = std::strtof(argv[3], nullptr);
    app.loop = pw_main_loop_new(nullptr);
    pw_context* context = pw_context_new(pw_main_loop_get_loop(app.loop), nullptr, 0);
    app.core = pw_context_connect(context, nullptr, 0);
    if (app.core == nullptr) {
        std::printf("no pipewire\n");
        return 1;
    }
    pw_core_add_listener(app.core, &app.coreListener, &coreEvents, &app);
    app.registry = pw_core_get_registry(app.core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(app.registry, &app.registryListener, &registryEvents, &app);

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (app.held == nullptr && std::chrono::steady_clock::now() < deadline) {
        iterate(app, 20ms);
        for (auto& [id, node] : app.nodes) {
            const auto name = node->properties.find("application.name");
            if (name == node->properties.end() || name->second != app.applicationName ||
                !node->volume) {
                continue;
            }
            WirePlumberVersion version;
            if (app.wirePlumberPid) {
                version = wirePlumberVersionOfProcess(*app.wirePlumberPid).value_or(version);
            }
            const auto key = streamKey(node->properties, version);
            if (!key) {
                continue;
            }
            journal.setDaemon(app.cookie);
            if (!journal.willSet(node->serial, *key)) {
                std::printf("journal: %s\n", journal.lastError().c_str());
                return 1;
            }
            app.held = node.get();
            setVolume(*node, app.target);
            std::printf("set %llu %s\n", static_cast<unsigned long long>(node->serial),
                        key->text.c_str());
            break;
        }
    }
    if (app.held == nullptr) {
        std::printf("no such stream\n");
        return 1;
    }
    for (;;) {
        iterate(app, 20ms);
        if (quitAsked != 0) {
            break;
        }
    }
    // The clean way out: the live stream back to its level at once, then the
    // stored value through the journal.
    if (app.held != nullptr) {
        app.target = 1.0f;
        setVolume(*app.held, 1.0f);
        journal.released(app.held->serial);
        app.held = nullptr;
        iterate(app, 50ms);
    }
    const CleanupResult result = cleanUpJournal(journalPath, 5s);
    std::printf("cleaned %d %d %s\n", result.nodesReset, result.keysReset, result.error.c_str());
    return result.error.empty() ? 0 : 1;
}
