// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/linux/AppIdentity.h"
#include "platform/pulse/server/RecordTable.h"

namespace morvale::pulse {

// The audio server's clients, sinks, sink-inputs, sources and source-outputs
// as this process knows them, and the object ids it hands out for them. Plain data, no server
// calls: the backend feeds it subscription events and info replies in whatever order they arrive,
// and reads process and device objects from it.
//
// Events can arrive in surprising orders: an object can be removed before its
// info reply comes in (the reply is then stale and ignored), a sink-input can
// name a client or sink that is not known yet, and the default sink can name a
// sink that is not listed yet. Every query answers from what is known now.

struct ClientRecord {
    std::uint32_t index = kNoIndex;
    // The host process id the client runs in, 0 when it is unknown or cannot
    // be trusted (a sandboxed client reports the pid inside its sandbox).
    std::int32_t pid = 0;
    LinuxDesktop::ClientHints hints;
    bool ours = false;  // a connection of this program (or another instance of it)
};

struct SinkRecord {
    std::uint32_t index = kNoIndex;
    std::string name;
    std::string description;  // its name for people ("Headphones"), where it has one
    std::string monitorName;
    std::uint32_t ownerModule = kNoIndex;
    std::uint32_t rate = 0;
    std::uint8_t channels = 0;
    std::string channelMap;  // the server's text form, e.g. "front-left,front-right"
    std::string tapUuid;     // set on tap sinks made by this program
    std::int32_t tapOwnerPid = 0;
    std::string tapOwnerStart;  // the owner's process start time, guards against pid reuse

    bool isTap() const { return !tapUuid.empty(); }
};

struct SinkInputRecord {
    std::uint32_t index = kNoIndex;
    std::uint32_t client = kNoIndex;
    std::uint32_t sink = kNoIndex;
    bool corked = false;
    bool ours = false;  // one of this program's own streams
    // Its media role is "phone": a voice call's stream, which belongs to its
    // process's call object rather than to the process's own object.
    bool phone = false;
    // One of our silent call mirrors (see CallMirrors.h), which stays on the
    // sink it was made on.
    bool mirror = false;
    // The key the server's stream restore keeps its entry under, where it
    // has one.
    std::string restoreKey;
    // How much latency the stream is content with, as far as the server
    // tells; 0 when unknown.
    std::chrono::microseconds latency{0};
};

struct SourceRecord {
    std::uint32_t index = kNoIndex;
    // It records what a sink plays, not a microphone or the like.
    bool monitor = false;
};

struct SourceOutputRecord {
    std::uint32_t index = kNoIndex;
    std::uint32_t client = kNoIndex;
    std::uint32_t source = kNoIndex;
    bool corked = false;
    bool ours = false;  // one of this program's own capture streams
};

class ObjectTable {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long a process keeps its object id after its last stream is gone, so
    // that a player that closes and reopens its stream between tracks keeps it.
    static constexpr std::chrono::seconds kIdLinger{30};

    explicit ObjectTable(Clock clock = &std::chrono::steady_clock::now);

    // ---- Feeding it ----
    // A subscription event about a record of the given kind. `added` and
    // `changed` announce an info reply to come; `removed` forgets the object
    // and makes a later stale reply for the same index be ignored.
    template <typename Record>
    void event(Event event, std::uint32_t index) {
        if (tableOf<Record>().event(event, index)) {
            rebuildAfter<Record>();
        }
    }
    // An info reply. Returns false when it was stale and was ignored.
    template <typename Record>
    bool info(Record record) {
        if (!tableOf<Record>().info(std::move(record))) {
            return false;
        }
        rebuildAfter<Record>();
        return true;
    }
    void setDefaultSinkName(std::string name);
    // The connection is gone: forget every server object. Object ids of
    // processes and devices are kept, so that they come back with the same
    // ids when the server does.
    void reset();

    // Object ids for things this program makes (taps, aggregate devices,
    // streams): from the same counter as processes and devices.
    AudioObjectID newObjectID() { return nextID_++; }

    // ---- Process objects ----
    // A client process has up to two objects. Its own object stands for its
    // playback streams that are not a voice call's, and for its capture
    // streams from sources that are not monitors (microphones and the like):
    // it exists while the process has either. Its call object stands for its
    // playback streams with the media role "phone", and exists while it has
    // one. Each keeps its id while it exists; the two never share one.
    struct Process {
        AudioObjectID id = 0;
        std::int32_t pid = 0;
        LinuxDesktop::ClientHints hints;
        bool call = false;                      // the process's call object
        std::vector<std::uint32_t> sinkInputs;  // ascending
        bool running = false;                   // at least one of its sink-inputs is not corked
        // At least one of its capture streams from a microphone (or other
        // source that is not a monitor) is not corked; never for a call object.
        bool recording = false;
    };
    // The process objects that exist now, ascending by id.
    std::vector<AudioObjectID> processObjects() const;
    // Counts the changes of that list (a process came or went) and of any
    // process's playing or recording state.
    std::uint64_t processListVersion() const { return processListVersion_; }
    const Process* process(AudioObjectID id) const;
    // The process object a sink-input belongs to (its process's call object
    // for a "phone" stream); 0 when none (ours, no client, client unknown
    // yet, untrusted pid).
    AudioObjectID processOf(const SinkInputRecord& input) const;

    // ---- Devices: every sink that is not a tap sink ----
    std::vector<AudioObjectID> deviceObjects() const;
    const SinkRecord* device(AudioObjectID id) const;
    AudioObjectID deviceForSinkName(const std::string& name) const;
    // The default sink's device object. While the server's default is one of
    // the tap sinks, the last real default (if still present); 0 when none.
    AudioObjectID defaultDevice() const;
    const std::string& defaultSinkName() const { return defaultSink_; }
    // The name of the last default sink that was not a tap sink.
    const std::string& lastRealDefault() const { return lastRealDefault_; }

    // ---- Raw server objects ----
    const std::map<std::uint32_t, SinkRecord>& sinks() const { return records<SinkRecord>(); }
    const std::map<std::uint32_t, SinkInputRecord>& sinkInputs() const {
        return records<SinkInputRecord>();
    }
    const std::map<std::uint32_t, ClientRecord>& clients() const { return records<ClientRecord>(); }
    const std::map<std::uint32_t, SourceOutputRecord>& sourceOutputs() const {
        return records<SourceOutputRecord>();
    }
    const SinkRecord* sink(std::uint32_t index) const;
    const SinkRecord* sinkByName(const std::string& name) const;
    const SinkRecord* tapSink(const std::string& uuid) const;

private:
    template <typename Record>
    RecordTable<Record>& tableOf() {
        return std::get<RecordTable<Record>>(tables_);
    }
    template <typename Record>
    const std::map<std::uint32_t, Record>& records() const {
        return std::get<RecordTable<Record>>(tables_).records();
    }
    // Sinks make the devices; every other kind counts for the processes.
    template <typename Record>
    void rebuildAfter() {
        if constexpr (std::is_same_v<Record, SinkRecord>) {
            rebuildDevices();
        } else {
            rebuildProcesses();
        }
    }

    // Rebuilds the process objects from clients and sink-inputs.
    void rebuildProcesses();
    void rebuildDevices();
    // Whose a stream is: the pid of its client's process, 0 when none counts.
    std::int32_t ownerPid(std::uint32_t client, bool ours) const;
    // The id of a process's own object (call = false) or its call object.
    AudioObjectID idFor(std::int32_t pid, bool call, std::chrono::steady_clock::time_point now);

    Clock clock_;
    AudioObjectID nextID_ = 2;  // 1 is the system object

    std::tuple<RecordTable<ClientRecord>, RecordTable<SinkRecord>, RecordTable<SinkInputRecord>,
               RecordTable<SourceRecord>, RecordTable<SourceOutputRecord>>
        tables_;
    std::string defaultSink_;
    std::string lastRealDefault_;

    struct PidID {
        AudioObjectID id;
        std::chrono::steady_clock::time_point lastSeen;
    };
    // By pid and whether it is the call object.
    std::map<std::pair<std::int32_t, bool>, PidID> pidIDs_;
    std::map<AudioObjectID, Process> processes_;
    std::uint64_t processListVersion_ = 0;
    std::map<std::string, AudioObjectID> deviceIDs_;  // by sink name, kept across reconnects
    std::map<AudioObjectID, std::uint32_t> devices_;  // device object -> sink index
};

}  // namespace morvale::pulse
