// PulseAudioSystem::Impl: tap sinks. Loads and unloads the null sinks of
// taps, moves the tapped streams in and out of them, and removes the tap
// sinks that a dead process of this program left behind.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "platform/CallGroup.h"
#include "platform/pulse/PulseImpl.h"
#include "platform/pulse/TapPlanner.h"

namespace morvale::pulse {

namespace {

// How often loading a tap sink is tried before the tap fails.
constexpr int kLoadAttempts = 3;

}  // namespace

// Runs after every change of the table and every call: loads missing tap
// sinks, moves streams in and out of them, removes orphaned tap sinks,
// starts, corks and uncorks IO streams, and keeps the default off our sinks.
void Impl::reconcile() {
    listeners.processListIs(table.processListVersion());
    if (connection.context() == nullptr || !connection.synced()) {
        return;
    }
    for (auto& [id, tap] : taps) {
        if (!tap.releasing && tap.sinkName.empty() && !tap.loading &&
            tap.failure == kAudioNoError) {
            loadTapSink(tap);
        }
    }
    moveStreams();
    sweepOrphans();
    for (auto& [id, proc] : procs) {
        updateStreams(*proc);
    }
    updateCallMirrors();
    const SinkRecord* current = table.sinkByName(table.defaultSinkName());
    if (current != nullptr && current->isTap() && !table.lastRealDefault().empty() &&
        table.sinkByName(table.lastRealDefault()) != nullptr) {
        // Something made a tap sink the default (a module that switches to
        // new sinks): new streams would start inside it.
        forget(pa_context_set_default_sink(connection.context(), table.lastRealDefault().c_str(),
                                           nullptr, nullptr));
    }
}

// A tap takes a new description in place: the streams of processes that
// join move in, those of processes that leave go back, and the rest play on.
OSStatus Impl::describeTap(Tap& tap, const TapDescription& description) {
    if (!description.sameTapAs(tap.description)) {
        return kAudioHardwareIllegalOperationError;
    }
    tap.description = description;
    tap.processes =
        std::set<AudioObjectID>(description.processes.begin(), description.processes.end());
    reconcile();
    return kAudioNoError;
}

// Which processes each tap captures now. A tap that captures processes by
// who they are takes a new process's streams in as soon as its identity is
// known, without waiting for its owner to list it: so a new process of a
// lowered application is at the application's level from its first sound.
void Impl::updateMembers() {
    std::set<AudioObjectID> listed;
    bool byIdentity = false;
    for (auto& [id, tap] : taps) {
        tap.members = tap.processes;
        listed.insert(tap.processes.begin(), tap.processes.end());
        byIdentity = byIdentity || (!tap.releasing && (!tap.description.bundleIDs.empty() ||
                                                       !tap.description.processNames.empty()));
    }
    if (!byIdentity) {
        return;
    }
    // Every client is asked for when it connects, ahead of its first stream.
    std::set<std::int32_t> pids;
    for (const auto& [index, client] : table.clients()) {
        if (!client.ours && client.pid > 0) {
            pids.insert(client.pid);
            identities.lookup(client.hints);
        }
    }
    identities.keepOnly(pids);
    for (const AudioObjectID id : table.processObjects()) {
        const ObjectTable::Process* process = table.process(id);
        if (listed.contains(id) || process == nullptr) {
            continue;
        }
        // A call object is who its streams are, whichever process plays them:
        // only a tap of calls takes it in, and no application's tap does.
        const auto identity =
            process->call ? std::optional(ProcessIdentity{std::string(kCallStreamsBundleID), {}})
                          : identities.lookup(process->hints);
        if (!identity) {
            continue;
        }
        for (auto& [tapID, tap] : taps) {
            if (!tap.releasing &&
                tap.description.capturesIdentity(identity->bundleID, identity->name)) {
                tap.members.insert(id);
                break;
            }
        }
    }
}

// Runs on the identities' own thread (it reads files).
ProcessIdentity Impl::identify(const LinuxDesktop::ClientHints& hints) const {
    ProcessIdentity identity;
    identity.bundleID = identifier.desktopId(hints);
    if (identity.bundleID && identity.bundleID->empty()) {
        identity.bundleID.reset();
    }
    if (!identity.bundleID) {
        identity.name = sanitizeUtf8(facts.shortName(hints.pid));
    }
    return identity;
}

Impl::Tap* Impl::tapOfSink(std::uint32_t sinkIndex) {
    const SinkRecord* sink = table.sink(sinkIndex);
    if (sink == nullptr || !sink->isTap()) {
        return nullptr;
    }
    for (auto& [id, tap] : taps) {
        if (tap.uuid == sink->tapUuid) {
            return &tap;
        }
    }
    return nullptr;
}

void Impl::loadTapSink(Tap& tap) {
    const SinkRecord* base = table.sinkByName(table.lastRealDefault());
    const std::uint32_t rate = base != nullptr && base->rate != 0 ? base->rate : 48000;
    std::uint8_t channels = base != nullptr && base->channels != 0 ? base->channels : 2;
    std::string map = base != nullptr ? base->channelMap : "";
    if (tap.channels != 0 && tap.channels != channels) {
        channels = tap.channels;
        map.clear();
    }
    tap.sinkName =
        std::string(kTapSinkPrefix) + std::to_string(ownPid) + "_" + std::to_string(++sinkCounter);
    std::string description = moduleArgumentText(tap.description.name);
    if (description.empty()) {
        description = "Morvale tap";
    }
    std::string args = "sink_name=" + tap.sinkName + " sink_properties='device.description=\"" +
                       description + "\" " + kTapKey + "=" + tap.uuid + " " + kOwnerPidKey + "=" +
                       std::to_string(ownPid) + " " + kOwnerStartKey + "=" + ownStart + "'" +
                       " norewinds=1 format=float32le rate=" + std::to_string(rate) +
                       " channels=" + std::to_string(channels);
    if (!map.empty() && map.find(' ') == std::string::npos) {
        args += " channel_map=" + map;
    }
    tap.loading = true;
    const AudioObjectID id = tap.id;
    forget(connection.request(
        [&](ServerConnection::Slot* slot) {
            return pa_context_load_module(connection.context(), "module-null-sink", args.c_str(),
                                          &ServerConnection::indexShim, slot);
        },
        [this, id](std::uint32_t module) {
            const auto it = taps.find(id);
            if (it == taps.end() || it->second.releasing) {
                // The tap went while its sink was being made.
                if (module != kNoIndex) {
                    forget(
                        pa_context_unload_module(connection.context(), module, nullptr, nullptr));
                }
                return;
            }
            it->second.loading = false;
            if (module == kNoIndex) {
                it->second.sinkName.clear();
                // PipeWire's server now and then refuses a null sink while
                // another one is going away; a second try a moment later
                // succeeds.
                if (++it->second.loadAttempts < kLoadAttempts) {
                    retryLater(std::chrono::milliseconds(100));
                } else {
                    it->second.failure = kAudioHardwareUnspecifiedError;
                }
            } else {
                it->second.module = module;
            }
            reconcile();
        }));
}

// Runs reconcile() again after a pause.
void Impl::retryLater(std::chrono::milliseconds pause) {
    const timeval when = deadlineIn(pause);
    api->time_new(
        api, &when,
        [](pa_mainloop_api* a, pa_time_event* event, const timeval*, void* data) {
            a->time_free(event);
            static_cast<Impl*>(data)->reconcile();
        },
        this);
}

void Impl::moveStreams() {
    updateMembers();
    std::vector<TapTarget> targets;
    for (auto& [id, tap] : taps) {
        if (tap.sinkName.empty()) {
            continue;
        }
        const SinkRecord* sink = table.tapSink(tap.uuid);
        const bool listed = sink != nullptr && sink->name == tap.sinkName;
        if (listed && !tap.releasing) {
            std::set<std::uint32_t> streams;
            for (const AudioObjectID member : tap.members) {
                if (const auto* process = table.process(member)) {
                    streams.insert(process->sinkInputs.begin(), process->sinkInputs.end());
                }
            }
            tap.origins.observe(table, sink->index, streams, moves.inFlight());
        }
        if (!capturing(tap)) {
            sendBack(tap);  // its reader stopped or it goes: the streams play again
            continue;
        }
        if (listed) {
            targets.push_back({tap.members, sink->index});
        }
    }
    for (const Move& move : planMoves(table, targets, moves.inFlight())) {
        std::uint32_t sink = move.sink;
        if (move.kind == Move::Kind::evict) {
            // A stream of a process a tap let go of goes back where it was.
            const SinkInputRecord& input = table.sinkInputs().at(move.input);
            if (const Tap* tap = tapOfSink(input.sink)) {
                if (const SinkRecord* back = returnTarget(*tap, move.input)) {
                    sink = back->index;
                }
            }
        }
        if (sink != kNoIndex) {
            moveInput(move.input, sink);
        }
    }
}

void Impl::moveInput(std::uint32_t input, std::uint32_t sink) {
    moves.want(input, sink);
    pumpMoves();
}

// Sends the moves that are due, and wakes up again when the pause after
// the batch in flight is over.
void Impl::pumpMoves() {
    if (connection.context() == nullptr) {
        return;
    }
    for (const MoveQueue::Move& move : moves.next(std::chrono::steady_clock::now())) {
        const std::uint32_t input = move.input;
        const Operation sent = connection.request(
            [&](ServerConnection::Slot* slot) {
                return pa_context_move_sink_input_by_index(connection.context(), input, move.sink,
                                                           &ServerConnection::successShim, slot);
            },
            [this, input](std::uint32_t) {
                // The sink-input's change event brings its new sink.
                moves.done(input, std::chrono::steady_clock::now());
                pumpMoves();
            });
        if (!sent) {
            moves.done(input, std::chrono::steady_clock::now());
        }
    }
    const auto readyAt = moves.readyAt();
    if (!readyAt || moveTimer != nullptr) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const timeval when =
        deadlineIn(std::chrono::ceil<std::chrono::milliseconds>(std::max(*readyAt, now) - now));
    moveTimer = api->time_new(
        api, &when,
        [](pa_mainloop_api* a, pa_time_event* event, const timeval*, void* data) {
            auto* impl = static_cast<Impl*>(data);
            a->time_free(event);
            impl->moveTimer = nullptr;
            impl->pumpMoves();
        },
        this);
}

// Tap sinks left behind by a process of this program that died (its
// watchdog may not have run), or by this process on an earlier connection.
bool Impl::isOrphan(const SinkRecord& sink) const {
    if (!sink.isTap()) {
        return false;
    }
    if (sink.tapOwnerPid == ownPid && sink.tapOwnerStart == ownStart) {
        for (const auto& [id, tap] : taps) {
            if (tap.uuid == sink.tapUuid && tap.sinkName == sink.name) {
                return false;
            }
        }
        return true;
    }
    const std::string start = facts.startTime(sink.tapOwnerPid);
    return start.empty() || start != sink.tapOwnerStart;
}

void Impl::sweepOrphans() {
    const SinkRecord* home = table.sinkByName(table.lastRealDefault());
    for (const auto& [index, sink] : table.sinks()) {
        if (!isOrphan(sink) || unloading.contains(sink.ownerModule)) {
            continue;
        }
        bool empty = true;
        for (const auto& [inputIndex, input] : table.sinkInputs()) {
            if (input.sink != index) {
                continue;
            }
            empty = false;
            if (home != nullptr && !moves.inFlight(inputIndex)) {
                moveInput(inputIndex, home->index);
            }
        }
        if (empty || home == nullptr) {
            unloadModule(sink.ownerModule);
        }
    }
}

void Impl::unloadModule(std::uint32_t module) {
    if (module == kNoIndex) {
        return;
    }
    unloading.insert(module);
    forget(connection.request(
        [&](ServerConnection::Slot* slot) {
            return pa_context_unload_module(connection.context(), module,
                                            &ServerConnection::successShim, slot);
        },
        [this, module](std::uint32_t) { unloading.erase(module); }));
}

bool Impl::hasOrphans() const {
    return std::any_of(table.sinks().begin(), table.sinks().end(),
                       [&](const auto& item) { return isOrphan(item.second); });
}

// Whether the tap's processes are silenced into its sink now: always for
// a muting tap, else while an IO proc reads the sink. Streams move in only
// once that IO proc's capture runs, so the sink starts with short
// fragments and none of the application's audio is rendered into nothing.
bool Impl::capturing(const Tap& tap) const {
    if (tap.releasing) {
        return false;
    }
    if (tap.always) {
        return true;
    }
    return std::any_of(procs.begin(), procs.end(), [&](const auto& item) {
        const IOProc& proc = *item.second;
        return proc.running && proc.reading() && !proc.handingBack && tapOf(proc) == &tap;
    });
}

bool Impl::isChosenSink(const std::string& device) const {
    return std::any_of(taps.begin(), taps.end(),
                       [&](const auto& item) { return item.second.origins.chosen() == device; });
}

// Every stream of the tap's processes is inside its sink.
bool Impl::tapSettled(const Tap& tap) const {
    const SinkRecord* sink = table.tapSink(tap.uuid);
    if (sink == nullptr || sink->name != tap.sinkName) {
        return false;
    }
    for (const AudioObjectID id : tap.members) {
        const auto* process = table.process(id);
        if (process == nullptr) {
            continue;
        }
        for (const std::uint32_t input : process->sinkInputs) {
            const auto it = table.sinkInputs().find(input);
            if (it != table.sinkInputs().end() && it->second.sink != sink->index) {
                return false;
            }
        }
    }
    return true;
}

// Where a stream leaving a tap sink goes: its own sink if that is still
// there and was not just the default, else the current default.
const SinkRecord* Impl::returnTarget(const Tap& tap, std::uint32_t input) const {
    const SinkRecord* target = table.sinkByName(table.lastRealDefault());
    if (const StreamOrigins::Origin* origin = tap.origins.find(input)) {
        const SinkRecord* own = table.sinkByName(origin->sink);
        if (own != nullptr && !origin->wasDefault) {
            target = own;
        }
    }
    return target;
}

// Moves every stream in the tap's sink back out.
void Impl::sendBack(Tap& tap) {
    const SinkRecord* sink = table.tapSink(tap.uuid);
    if (sink == nullptr || sink->name != tap.sinkName) {
        return;
    }
    const std::uint32_t sinkIndex = sink->index;
    for (const auto& [index, input] : table.sinkInputs()) {
        if (input.sink != sinkIndex || moves.inFlight(index) || input.mirror) {
            continue;
        }
        if (const SinkRecord* target = returnTarget(tap, index)) {
            tap.origins.sentBack(index);
            moves.want(index, target->index);
        }
    }
    pumpMoves();
}

bool Impl::sinkEmpty(const Tap& tap) const {
    const SinkRecord* sink = table.tapSink(tap.uuid);
    // A call mirror goes with the sink.
    return sink == nullptr ||
           std::none_of(table.sinkInputs().begin(), table.sinkInputs().end(), [&](const auto& item) {
               return item.second.sink == sink->index && !item.second.mirror;
           });
}

// A capturing IO proc hands the tapped streams back to their own sinks
// before its streams go, while the replay still plays what is left in the
// tap sink: the application is not cut off in between, and the device keeps
// the short latency the replay asks for, so each move's rewind stays short.
void Impl::stopProc(IOProc& proc) {
    const Tap* tap = tapOf(proc);
    if (tap != nullptr && !tap->always && proc.running && proc.kicked && proc.ready() &&
        connection.synced()) {
        proc.handingBack = true;
        reconcile();
        connection.waitFor(
            [&] { return connection.context() == nullptr || !proc.ready() || sinkEmpty(*tap); },
            options.timeout);
        proc.handingBack = false;
    }
    proc.running = false;
    destroyStreams(proc);
}

// Moves each captured stream back, waits until they are out, then unloads
// the sink and waits for that.
void Impl::releaseTap(Tap& tap) {
    tap.releasing = true;
    for (auto& [id, proc] : procs) {
        if (tapOf(*proc) == &tap) {
            stopProc(*proc);
        }
    }
    if (connection.context() == nullptr || !connection.synced()) {
        return;
    }
    sendBack(tap);
    // Waits for the streams to leave, not for the replies: the server may
    // answer a move before the stream has left (PipeWire's session manager
    // relinks it afterwards), and unloading the sink before that would send
    // the stream to the default instead of its own sink.
    connection.waitFor([&] { return connection.context() == nullptr || sinkEmpty(tap); },
                       options.timeout);
    if (connection.context() == nullptr) {
        return;
    }
    const std::uint32_t module = tap.module;
    if (module != kNoIndex) {
        auto done = std::make_shared<bool>(false);
        forget(connection.request(
            [&](ServerConnection::Slot* slot) {
                return pa_context_unload_module(connection.context(), module,
                                                &ServerConnection::successShim, slot);
            },
            [done](std::uint32_t) { *done = true; }));
        if (!connection.waitFor([&] { return *done || connection.context() == nullptr; },
                                options.timeout)) {
            connection.timedOut("unloading a tap");
            return;
        }
    }
    restore.release();
}

}  // namespace morvale::pulse
