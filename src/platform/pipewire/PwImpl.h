// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// PipeWireAudioSystem::Impl: the libpipewire backend's state, private to its
// own .cpp files. Everything here runs under the thread loop's lock:
//   PwConnection.cpp  connecting, reconnecting, registry and info events into
//                     the PwGraph, the default sink from the metadata
//   PwGains.cpp       holding each playback node's volume at its stage's gain
//   PwRoutes.cpp      sending playback nodes to the outputs their routes name
//   PipeWireAudioSystem.cpp  the public calls

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/props.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/OutputRoute.h"
#include "platform/pipewire/CallDucking.h"
#include "platform/pipewire/GainPlan.h"
#include "platform/pipewire/PipeWireAudioSystem.h"
#include "platform/pipewire/PwGraph.h"
#include "platform/pipewire/memory/GainJournal.h"
#include "platform/pipewire/memory/StreamKey.h"
#include "platform/pulse/server/ProcessFacts.h"
#include "platform/pulse/server/ProcessIdentities.h"

namespace morvale::pipewire {

struct PipeWireAudioSystem::Impl {
    Impl(const LinuxDesktop::AppIdentifier& appIdentifier, Options chosen);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // ---- Fixed ----
    const LinuxDesktop::AppIdentifier& identifier;
    const Options options;
    const pulse::ProcessFacts facts;
    const std::int32_t ownPid = static_cast<std::int32_t>(::getpid());
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;

    // ---- The connection (PwConnection.cpp) ----
    pw_core* core = nullptr;
    spa_hook coreListener{};
    pw_registry* registry = nullptr;
    spa_hook registryListener{};
    ConnectionState state = ConnectionState::connecting;
    bool everReady = false;
    bool attempted = false;  // the first attempt is over, whether or not it worked
    int syncSeq = -1;
    int syncRounds = 0;
    int flushSeq = -1;
    bool flushed = false;
    std::function<void(ConnectionState)> observer;
    spa_source* retryTimer = nullptr;
    spa_source* rampTimer = nullptr;
    bool rampArmed = false;

    // A proxy of ours on a global: a client, a node or the default metadata.
    struct Bound {
        Impl* impl = nullptr;
        std::uint32_t id = kNoID;
        pw_proxy* proxy = nullptr;
        spa_hook objectListener{};
        // metadata: "default"; settings: the session manager's "sm-settings".
        enum class Kind { client, node, metadata, settings } kind = Kind::node;
        PwNode node;  // what the global told, for a node
        std::uint64_t serial = 0;  // object.serial: the node's name in the journal

        // ---- Holding a playback node's volume (PwGains.cpp) ----
        std::optional<float> target;  // held at this; absent: not held
        float applied = -1.0f;        // what we set last; negative: nothing yet
        float rampStep = 0.05f;       // the step of the change under way
        std::deque<float> inFlight;   // set, and not reported back yet
        bool lowered = false;         // we set a volume other than 1.0 on it
    };
    std::map<std::uint32_t, std::unique_ptr<Bound>> bound;
    PwGraph graph;

    void connect();
    void disconnect();
    void lost(const std::string& why);
    void setState(ConnectionState next);
    void scheduleRetry(std::chrono::milliseconds after);
    void onGlobal(std::uint32_t id, const char* type, const spa_dict* props);
    void onGlobalRemove(std::uint32_t id);
    void onDone(std::uint32_t id, int seq);
    void onCoreInfo(const pw_core_info* info);
    void onClientInfo(Bound& b, const pw_client_info* info);
    void onNodeInfo(Bound& b, const pw_node_info* info);
    void onMetadataProperty(const char* key, const char* value);
    void onSettingsProperty(const char* key, const char* value);
    // What the graph shows of the session manager's call ducking.
    std::set<std::uint32_t> endpoints;
    std::optional<std::string> duckLevel;
    DuckingFacts duckingFacts() const;
    PwNode nodeFrom(std::uint32_t id, const spa_dict* props) const;
    // After any change of the graph: gains, listeners.
    void changed();
    // Waits (lock held) until the server has handled what was sent so far,
    // at most the timeout.
    void flush();

    // ---- Gain stages (PwGains.cpp) ----
    std::map<AudioObjectID, GainStage> stages;
    AudioObjectID nextStage = 0x40000000;  // apart from the graph's ids
    // WirePlumber keys of streams we lowered: it stored our gain under them.
    std::set<std::string> loweredKeys;
    // The session manager's version decides its keys (0.4 until its client is seen).
    WirePlumberVersion wirePlumber;
    std::string keyOf(const PwNode& node) const;
    // What we lower, on disk before it is set; absent without a journal path.
    std::optional<GainJournal> journal;
    std::string journalError;
    pulse::ProcessIdentities identities;
    pulse::ProcessIdentity identify(const LinuxDesktop::ClientHints& hints) const;
    // Brings every playback node in line with the stages.
    void applyGains();
    void hold(Bound& b, float gain);
    void release(Bound& b);
    void onNodeParam(Bound& b, const spa_pod* param);
    void setVolume(Bound& b, float volume);
    std::uint64_t volumeWrites = 0;
    void armRamp();
    void onRampTick();

    // ---- Output routes (PwRoutes.cpp) ----
    OutputRoutes routes;
    // The playback nodes whose target we set, and the sink name we set.
    std::map<std::uint32_t, std::string> routedNodes;
    // Sends every playback node a route names to its sink, and lets a node
    // that no route names any more follow the default again.
    void applyRoutes();
    pw_metadata* defaultMetadata() const;

    // ---- Listeners ----
    std::map<std::uintptr_t, AudioObjectPropertyListenerBlock> listeners;
    std::uintptr_t nextListener = 1;
    std::uint64_t toldVersion = 0;
    void tellListeners();

    struct Lock {
        pw_thread_loop* loop;
        explicit Lock(pw_thread_loop* l) : loop(l) { pw_thread_loop_lock(loop); }
        ~Lock() { pw_thread_loop_unlock(loop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
    };
};

using Impl = PipeWireAudioSystem::Impl;

// A property of a dict, when present.
std::optional<std::string> dictValue(const spa_dict* dict, const char* key);
std::optional<std::int32_t> dictInt(const spa_dict* dict, const char* key);

}  // namespace morvale::pipewire
