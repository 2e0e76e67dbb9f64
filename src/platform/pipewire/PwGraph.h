// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/linux/AppIdentity.h"
#include "platform/pipewire/memory/StreamKey.h"

namespace morvale::pipewire {

// The PipeWire graph as this process knows it: clients, audio nodes, links
// and the default sink, and the object ids it hands out for processes and
// devices. Plain data, no server calls: the backend feeds it registry events
// and info events in whatever order they arrive, and reads process and device
// objects from it.
//
// Orders that happen: a node's global comes before its client's info, a link
// names nodes that are not known yet (or no longer), the default sink names a
// node that is not listed yet, an info event repeats an unchanged state.
// Every query answers from what is known now.

inline constexpr std::uint32_t kNoID = 0xffffffffu;

struct PwClient {
    std::uint32_t id = kNoID;
    // The host pid of its process, 0 when unknown or not trustworthy.
    std::int32_t pid = 0;
    LinuxDesktop::ClientHints hints;
    bool ours = false;  // this program's own connection
};

enum class NodeKind {
    other,
    playback,  // Stream/Output/Audio
    capture,   // Stream/Input/Audio
    sink,      // Audio/Sink (and Audio/Duplex)
    source,    // Audio/Source* (microphones and other inputs; not a sink's monitor)
};

NodeKind nodeKindOf(std::string_view mediaClass);

struct PwNode {
    std::uint32_t id = kNoID;
    std::uint32_t client = kNoID;
    NodeKind kind = NodeKind::other;
    std::string name;         // node.name
    std::string description;  // node.description: a device's name for people
    // The node processes audio now (its state is "running").
    bool running = false;
    // A playback stream of a voice call (media.role Communication, which is
    // what PulseAudio's "phone" arrives as).
    bool communication = false;
    // A capture stream that records a sink's output (stream.capture.sink).
    bool capturesSink = false;
    // The host pid the node itself names (PulseAudio clients do, through
    // application.process.id), once checked; 0 when it names none (its
    // client's counts), -1 when it names one that cannot be trusted (the
    // stream then counts for no process: its client may be a server that
    // plays for many).
    std::int32_t pid = 0;
    LinuxDesktop::ClientHints hints;  // what the node tells beyond its client
    // The properties WirePlumber remembers streams by (media.class,
    // media.role, application.id, application.name, media.name, node.name).
    NodeProperties memoryProperties;
    bool ours = false;  // made by this program
    // A sink the session manager's role-based linking routes roles into
    // (policy.role-based.target).
    bool roleBasedTarget = false;
};

struct PwLink {
    std::uint32_t id = kNoID;
    std::uint32_t outputNode = kNoID;
    std::uint32_t inputNode = kNoID;
};

class PwGraph {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long a process keeps its object id after its last stream is gone, so
    // that a player that closes and reopens its stream between tracks keeps it.
    static constexpr std::chrono::seconds kIdLinger{30};

    explicit PwGraph(Clock clock = &std::chrono::steady_clock::now);

    // ---- Feeding it ----
    // A record is added or replaced whole (a global, then each info event).
    void put(PwClient client);
    void put(PwNode node);
    void put(PwLink link);
    // A global went, whatever kind it was.
    void remove(std::uint32_t id);
    void setDefaultSinkName(std::string name);
    // The connection is gone: forget every server object. Ids of processes
    // and devices are kept, so that they come back when the server does.
    void reset();

    // ---- Process objects ----
    // A client process has up to two objects, as on the libpulse backend. Its
    // own object stands for its playback streams that are not a call's, and
    // for its capture streams fed by a source; its call object stands for
    // its Communication playback streams. Each keeps its id while it exists.
    struct Process {
        AudioObjectID id = 0;
        std::int32_t pid = 0;
        LinuxDesktop::ClientHints hints;
        bool call = false;
        std::vector<std::uint32_t> playback;  // its playback stream nodes, ascending
        bool running = false;                 // one of them runs
        bool recording = false;  // a capture stream of it, fed by a source, runs
    };
    std::vector<AudioObjectID> processObjects() const;
    const Process* process(AudioObjectID id) const;
    // The process object a playback node belongs to; 0 when none.
    AudioObjectID processOf(std::uint32_t node) const;
    // Counts changes of the process list and of any process's playing or
    // recording state.
    std::uint64_t version() const { return version_; }

    // ---- Devices: every Audio/Sink node ----
    std::vector<AudioObjectID> deviceObjects() const;
    const PwNode* device(AudioObjectID id) const;
    // The default sink's device object; 0 when none is known.
    AudioObjectID defaultDevice() const;
    // The sink a playback node is linked to now; null when none.
    const PwNode* linkedSink(std::uint32_t node) const;

    // ---- Raw objects ----
    const std::map<std::uint32_t, PwNode>& nodes() const { return nodes_; }
    const std::map<std::uint32_t, PwClient>& clients() const { return clients_; }
    const PwNode* node(std::uint32_t id) const;
    // The pid whose stream a node is (its own claim, else its client's); 0
    // when it counts for none (ours, client unknown, untrusted).
    std::int32_t ownerPid(const PwNode& node) const;
    // A capture node is fed by a source, not by a sink's output.
    bool recordsSource(const PwNode& node) const;

private:
    void rebuild();
    AudioObjectID idFor(std::int32_t pid, bool call, std::chrono::steady_clock::time_point now);
    LinuxDesktop::ClientHints hintsOf(const PwNode& node, std::int32_t pid) const;

    Clock clock_;
    AudioObjectID nextID_ = 2;  // 1 is the system object
    std::map<std::uint32_t, PwClient> clients_;
    std::map<std::uint32_t, PwNode> nodes_;
    std::map<std::uint32_t, PwLink> links_;
    std::string defaultSink_;

    struct PidID {
        AudioObjectID id;
        std::chrono::steady_clock::time_point lastSeen;
    };
    std::map<std::pair<std::int32_t, bool>, PidID> pidIDs_;
    std::map<AudioObjectID, Process> processes_;
    std::map<std::uint32_t, AudioObjectID> processOfNode_;
    std::uint64_t version_ = 0;
    std::map<std::string, AudioObjectID> deviceIDs_;  // by node name, kept across reconnects
    std::map<AudioObjectID, std::uint32_t> devices_;  // device object -> node id
};

}  // namespace morvale::pipewire
