// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/taps/TapSinks.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/CallGroup.h"
#include "platform/pulse/server/PulseKeys.h"
#include "platform/pulse/taps/TapPlanner.h"

namespace morvale::pulse {

namespace {

// How often loading a tap sink is tried before the tap fails.
constexpr int kLoadAttempts = 3;

}  // namespace

TapSinks::TapSinks(ServerConnection& connection, const ObjectTable& table,
                   ProcessIdentities& identities, const ProcessFacts& facts, std::int32_t ownPid,
                   std::string ownStart, std::chrono::milliseconds timeout, Hooks hooks)
    : connection_(connection),
      table_(table),
      identities_(identities),
      facts_(facts),
      ownPid_(ownPid),
      ownStart_(std::move(ownStart)),
      timeout_(timeout),
      hooks_(std::move(hooks)) {}

void TapSinks::update() {
    for (auto& [id, tap] : taps_) {
        if (!tap.releasing && tap.sinkName.empty() && !tap.loading &&
            tap.failure == kAudioNoError) {
            loadSink(tap);
        }
    }
    moveStreams();
    sweepOrphans();
}

// Which processes each tap captures now. A tap that captures processes by
// who they are takes a new process's streams in as soon as its identity is
// known, without waiting for its owner to list it: so a new process of a
// lowered application is at the application's level from its first sound.
void TapSinks::updateMembers() {
    std::set<AudioObjectID> listed;
    bool byIdentity = false;
    for (auto& [id, tap] : taps_) {
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
    for (const auto& [index, client] : table_.clients()) {
        if (!client.ours && client.pid > 0) {
            pids.insert(client.pid);
            identities_.lookup(client.hints);
        }
    }
    identities_.keepOnly(pids);
    for (const AudioObjectID id : table_.processObjects()) {
        const ObjectTable::Process* process = table_.process(id);
        if (listed.contains(id) || process == nullptr) {
            continue;
        }
        // A call object is who its streams are, whichever process plays them:
        // only a tap of calls takes it in, and no application's tap does.
        const auto identity =
            process->call ? std::optional(ProcessIdentity{std::string(kCallStreamsBundleID), {}})
                          : identities_.lookup(process->hints);
        if (!identity) {
            continue;
        }
        for (auto& [tapID, tap] : taps_) {
            if (!tap.releasing &&
                tap.description.capturesIdentity(identity->bundleID, identity->name)) {
                tap.members.insert(id);
                break;
            }
        }
    }
}

Tap* TapSinks::tapOfSink(std::uint32_t sinkIndex) {
    const SinkRecord* sink = table_.sink(sinkIndex);
    if (sink == nullptr || !sink->isTap()) {
        return nullptr;
    }
    for (auto& [id, tap] : taps_) {
        if (tap.uuid == sink->tapUuid) {
            return &tap;
        }
    }
    return nullptr;
}

void TapSinks::loadSink(Tap& tap) {
    const SinkRecord* base = table_.sinkByName(table_.lastRealDefault());
    const std::uint32_t rate = base != nullptr && base->rate != 0 ? base->rate : 48000;
    std::uint8_t channels = base != nullptr && base->channels != 0 ? base->channels : 2;
    std::string map = base != nullptr ? base->channelMap : "";
    if (tap.channels != 0 && tap.channels != channels) {
        channels = tap.channels;
        map.clear();
    }
    tap.sinkName = std::string(kTapSinkPrefix) + std::to_string(ownPid_) + "_" +
                   std::to_string(++sinkCounter_);
    std::string description = moduleArgumentText(tap.description.name);
    if (description.empty()) {
        description = "Morvale tap";
    }
    std::string args = "sink_name=" + tap.sinkName + " sink_properties='device.description=\"" +
                       description + "\" " + kTapKey + "=" + tap.uuid + " " + kOwnerPidKey + "=" +
                       std::to_string(ownPid_) + " " + kOwnerStartKey + "=" + ownStart_ + "'" +
                       " norewinds=1 format=float32le rate=" + std::to_string(rate) +
                       " channels=" + std::to_string(channels);
    if (!map.empty() && map.find(' ') == std::string::npos) {
        args += " channel_map=" + map;
    }
    tap.loading = true;
    const AudioObjectID id = tap.id;
    forget(connection_.request(
        [&](ServerConnection::Slot* slot) {
            return pa_context_load_module(connection_.context(), "module-null-sink", args.c_str(),
                                          &ServerConnection::indexShim, slot);
        },
        [this, id](std::uint32_t module) {
            const auto it = taps_.find(id);
            if (it == taps_.end() || it->second.releasing) {
                // The tap went while its sink was being made.
                if (module != kNoIndex) {
                    forget(
                        pa_context_unload_module(connection_.context(), module, nullptr, nullptr));
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
            hooks_.reconcile();
        }));
}

// Runs hooks_.reconcile() again after a pause.
void TapSinks::retryLater(std::chrono::milliseconds pause) {
    const timeval when = deadlineIn(pause);
    connection_.api()->time_new(
        connection_.api(), &when,
        [](pa_mainloop_api* a, pa_time_event* event, const timeval*, void* data) {
            a->time_free(event);
            static_cast<TapSinks*>(data)->hooks_.reconcile();
        },
        this);
}

void TapSinks::moveStreams() {
    updateMembers();
    noteLandings();
    std::vector<TapTarget> targets;
    // Streams not to move now: ours on their way, and those someone else
    // is moving.
    std::set<std::uint32_t> leave = moves_.moving(std::chrono::steady_clock::now());
    for (auto& [id, tap] : taps_) {
        if (tap.sinkName.empty()) {
            continue;
        }
        const SinkRecord* sink = table_.tapSink(tap.uuid);
        const bool listed = sink != nullptr && sink->name == tap.sinkName;
        if (listed && !tap.releasing) {
            std::set<std::uint32_t> streams;
            for (const AudioObjectID member : tap.members) {
                if (const auto* process = table_.process(member)) {
                    streams.insert(process->sinkInputs.begin(), process->sinkInputs.end());
                }
            }
            tap.origins.observe(table_, sink->index, streams, moves_.inFlight());
            leave.insert(tap.origins.relinking().begin(), tap.origins.relinking().end());
        }
        if (!hooks_.capturing(tap)) {
            sendBack(tap);  // its reader stopped or it goes: the streams play again
            continue;
        }
        if (listed) {
            targets.push_back({tap.members, sink->index, sinkRoom_});
        }
    }
    for (const Move& move : planMoves(table_, targets, leave)) {
        std::uint32_t sink = move.sink;
        if (move.kind == Move::Kind::evict) {
            // A stream of a process a tap let go of goes back where it was.
            const SinkInputRecord& input = table_.sinkInputs().at(move.input);
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

void TapSinks::moveInput(std::uint32_t input, std::uint32_t sink) {
    moves_.want(input, sink);
    pumpMoves();
}

// Sends the moves that are due, and wakes up again when the pause after
// the batch in flight is over.
void TapSinks::pumpMoves() {
    if (connection_.context() == nullptr) {
        return;
    }
    noteLandings();
    moves_.drop([&](const MoveQueue::Move& move) {
        const auto it = table_.sinkInputs().find(move.input);
        return it == table_.sinkInputs().end() || it->second.sink == move.sink;
    });
    for (const MoveQueue::Move& move : moves_.next(std::chrono::steady_clock::now())) {
        const std::uint32_t input = move.input;
        // Every wish left after `drop` is for a stream the table lists.
        const std::uint32_t from = table_.sinkInputs().at(input).sink;
        const Operation sent = connection_.request(
            [&](ServerConnection::Slot* slot) {
                return pa_context_move_sink_input_by_index(connection_.context(), input, move.sink,
                                                           &ServerConnection::successShim, slot);
            },
            [this, input, from](std::uint32_t took) {
                // The sink-input's change event brings its new sink.
                const auto now = std::chrono::steady_clock::now();
                moves_.done(input, now);
                if (took != 0) {
                    moves_.taken(input, from, now);
                }
                pumpMoves();
            });
        if (!sent) {
            moves_.done(input, std::chrono::steady_clock::now());
        }
    }
    const auto readyAt = moves_.readyAt();
    if (!readyAt || moveTimer_ != nullptr) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const timeval when =
        deadlineIn(std::chrono::ceil<std::chrono::milliseconds>(std::max(*readyAt, now) - now));
    moveTimer_ = connection_.api()->time_new(
        connection_.api(), &when,
        [](pa_mainloop_api* a, pa_time_event* event, const timeval*, void* data) {
            auto* self = static_cast<TapSinks*>(data);
            a->time_free(event);
            self->moveTimer_ = nullptr;
            self->pumpMoves();
        },
        this);
}

// Ends the landing of the moves whose streams show they left.
void TapSinks::noteLandings() {
    moves_.landed([&](std::uint32_t input, std::uint32_t from) {
        const auto it = table_.sinkInputs().find(input);
        return it == table_.sinkInputs().end() || it->second.sink != from;
    });
}

// Tap sinks left behind by a process of this program that died (its
// watchdog may not have run), or by this process on an earlier connection_.
bool TapSinks::isOrphan(const SinkRecord& sink) const {
    if (!sink.isTap()) {
        return false;
    }
    if (sink.tapOwnerPid == ownPid_ && sink.tapOwnerStart == ownStart_) {
        for (const auto& [id, tap] : taps_) {
            if (tap.uuid == sink.tapUuid && tap.sinkName == sink.name) {
                return false;
            }
        }
        return true;
    }
    const std::string start = facts_.startTime(sink.tapOwnerPid);
    return start.empty() || start != sink.tapOwnerStart;
}

void TapSinks::sweepOrphans() {
    const auto now = std::chrono::steady_clock::now();
    const SinkRecord* home = table_.sinkByName(table_.lastRealDefault());
    for (const auto& [index, sink] : table_.sinks()) {
        if (!isOrphan(sink) || unloading_.contains(sink.ownerModule)) {
            continue;
        }
        bool empty = true;
        for (const auto& [inputIndex, input] : table_.sinkInputs()) {
            if (input.sink != index) {
                continue;
            }
            empty = false;
            if (home != nullptr && !moves_.moving(inputIndex, now)) {
                moveInput(inputIndex, home->index);
            }
        }
        if (empty || home == nullptr) {
            unloadModule(sink.ownerModule);
        }
    }
}

void TapSinks::unloadModule(std::uint32_t module) {
    if (module == kNoIndex) {
        return;
    }
    unloading_.insert(module);
    forget(connection_.request(
        [&](ServerConnection::Slot* slot) {
            return pa_context_unload_module(connection_.context(), module,
                                            &ServerConnection::successShim, slot);
        },
        [this, module](std::uint32_t) { unloading_.erase(module); }));
}

bool TapSinks::hasOrphans() const {
    return std::any_of(table_.sinks().begin(), table_.sinks().end(),
                       [&](const auto& item) { return isOrphan(item.second); });
}

bool TapSinks::isChosenSink(const std::string& device) const {
    return std::any_of(taps_.begin(), taps_.end(),
                       [&](const auto& item) { return item.second.origins.chosen() == device; });
}

std::pair<std::size_t, std::size_t> TapSinks::memberStreams(const Tap& tap,
                                                            std::uint32_t sink) const {
    std::size_t all = 0;
    std::size_t inside = 0;
    for (const AudioObjectID id : tap.members) {
        const auto* process = table_.process(id);
        if (process == nullptr) {
            continue;
        }
        for (const std::uint32_t input : process->sinkInputs) {
            const auto it = table_.sinkInputs().find(input);
            if (it != table_.sinkInputs().end()) {
                ++all;
                if (it->second.sink == sink) {
                    ++inside;
                }
            }
        }
    }
    return {all, inside};
}

bool TapSinks::settled(const Tap& tap) const {
    const SinkRecord* sink = table_.tapSink(tap.uuid);
    if (sink == nullptr || sink->name != tap.sinkName) {
        return false;
    }
    const auto [all, inside] = memberStreams(tap, sink->index);
    return inside == all || inside >= sinkRoom_;
}

bool TapSinks::crowded() const {
    return std::any_of(taps_.begin(), taps_.end(), [&](const auto& item) {
        const Tap& tap = item.second;
        return !tap.releasing && hooks_.capturing(tap) &&
               memberStreams(tap, kNoIndex).first > sinkRoom_;
    });
}

// Where a stream leaving a tap sink goes: a sink the user moved it to while
// it was captured; else where its output route sends it (the default when
// the route was removed, and while the route's sink is away); else its own
// sink if that is still there and was not just the default, else the
// current default.
const SinkRecord* TapSinks::returnTarget(const Tap& tap, std::uint32_t input) const {
    const SinkRecord* target = table_.sinkByName(table_.lastRealDefault());
    if (const auto wish = hooks_.routeWish ? hooks_.routeWish(input) : std::nullopt;
        wish && !tap.origins.chosen()) {
        const SinkRecord* routed = wish->empty() ? nullptr : table_.sinkByName(*wish);
        return routed != nullptr && !routed->isTap() ? routed : target;
    }
    if (const StreamOrigins::Origin* origin = tap.origins.find(input)) {
        const SinkRecord* own = table_.sinkByName(origin->sink);
        if (own != nullptr && !origin->wasDefault) {
            target = own;
        }
    }
    return target;
}

// Moves every stream in the tap's sink back out.
void TapSinks::sendBack(Tap& tap) {
    const SinkRecord* sink = table_.tapSink(tap.uuid);
    if (sink == nullptr || sink->name != tap.sinkName) {
        return;
    }
    const std::uint32_t sinkIndex = sink->index;
    noteLandings();
    const auto now = std::chrono::steady_clock::now();
    for (const auto& [index, input] : table_.sinkInputs()) {
        if (input.sink != sinkIndex || moves_.moving(index, now) || input.mirror) {
            continue;
        }
        if (const SinkRecord* target = returnTarget(tap, index)) {
            tap.origins.sentBack(index);
            moves_.want(index, target->index);
        }
    }
    pumpMoves();
}

bool TapSinks::sinkEmpty(const Tap& tap) const {
    const SinkRecord* sink = table_.tapSink(tap.uuid);
    // A call mirror goes with the sink.
    return sink == nullptr ||
           std::none_of(table_.sinkInputs().begin(), table_.sinkInputs().end(),
                        [&](const auto& item) {
                            return item.second.sink == sink->index && !item.second.mirror;
                        });
}

// Waits for the streams to leave, not for the replies: the server may
// answer a move before the stream has left (PipeWire's session manager
// relinks it afterwards), and unloading the sink before that would send
// the stream to the default instead of its own sink.
bool TapSinks::release(Tap& tap) {
    if (connection_.context() == nullptr || !connection_.synced()) {
        return false;
    }
    sendBack(tap);
    connection_.waitFor([&] { return connection_.context() == nullptr || sinkEmpty(tap); },
                        timeout_);
    if (connection_.context() == nullptr) {
        return false;
    }
    const std::uint32_t module = tap.module;
    if (module != kNoIndex) {
        auto done = std::make_shared<bool>(false);
        forget(connection_.request(
            [&](ServerConnection::Slot* slot) {
                return pa_context_unload_module(connection_.context(), module,
                                                &ServerConnection::successShim, slot);
            },
            [done](std::uint32_t) { *done = true; }));
        if (!connection_.waitFor([&] { return *done || connection_.context() == nullptr; },
                                 timeout_)) {
            connection_.timedOut("unloading a tap");
            return false;
        }
    }
    return true;
}

void TapSinks::forgetConnection() {
    for (auto& [id, tap] : taps_) {
        tap.sinkName.clear();
        tap.module = kNoIndex;
        tap.loading = false;
        tap.failure = kAudioNoError;
        tap.loadAttempts = 0;
        tap.origins.clear();
    }
    moves_.clear();
    close();
    unloading_.clear();
}

void TapSinks::close() {
    if (moveTimer_ != nullptr) {
        connection_.api()->time_free(moveTimer_);
        moveTimer_ = nullptr;
    }
}

}  // namespace morvale::pulse
