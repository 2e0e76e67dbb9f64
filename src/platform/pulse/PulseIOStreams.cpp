// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: the IO procs' paths (IOPath), made, corked,
// moved and destroyed as the tap sink, the master device and the tapped
// processes come and go.

#include <algorithm>
#include <string>
#include <vector>

#include "platform/pulse/replay/IOPath.h"
#include "platform/pulse/replay/IOPeriod.h"
#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

const Impl::Tap* Impl::tapOf(const IOProc& proc) const {
    const auto agg = aggregates.find(proc.device);
    if (agg == aggregates.end()) {
        return nullptr;
    }
    const auto tap = tapSinks.taps().find(agg->second.tap);
    return tap == tapSinks.taps().end() ? nullptr : &tap->second;
}

// Whether a tapped process plays (has an uncorked stream); a silent tap
// corks its streams so that the real device can go idle.
bool Impl::tapIsSounding(const Tap& tap) const {
    return std::any_of(tap.members.begin(), tap.members.end(), [&](AudioObjectID id) {
        const auto* process = table.process(id);
        return process != nullptr && process->running;
    });
}

// Where the replay plays: where the tapped streams play on their own (see
// StreamOrigins: a sink the user moved them to while captured; else the sink
// their output route names, or the default where the route was removed;
// else the sink they came from), while that sink is there; else the
// aggregate's master; or,
// once that has gone too, the default (until the owner moves the session to
// the new default). Streams that played on the default would follow a new
// default on their own, so their replay follows it as soon as the server
// says, in one move, without waiting for the owner.
const SinkRecord* Impl::replaySink(const IOProc& proc, const Tap& tap) const {
    const auto agg = aggregates.find(proc.device);
    const std::string master = agg != aggregates.end() ? agg->second.master : std::string();
    const std::string& fallback = table.lastRealDefault();
    const std::string& onDefault = fallback.empty() ? master : fallback;
    std::string own;
    if (const auto wish = tap.origins.chosen() ? std::nullopt : routeWish(tap)) {
        own = wish->empty() ? onDefault : *wish;
    } else {
        own = tap.origins.replaySink(proc.path.replaySink(), onDefault);
    }
    for (const std::string& name : {own, master, fallback}) {
        const SinkRecord* sink = table.sinkByName(name);
        if (sink != nullptr && !sink->isTap()) {
            return sink;
        }
    }
    return nullptr;
}

OSStatus Impl::moveAggregate(Aggregate& agg, const std::string& sinkName) {
    if (connection.state() != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    const SinkRecord* sink = table.sinkByName(sinkName);
    if (sink == nullptr || sink->isTap()) {
        return kAudioHardwareBadDeviceError;
    }
    agg.master = sinkName;
    reconcile();
    return kAudioNoError;
}

void Impl::updateStreams(IOProc& proc) {
    IOPath& path = proc.path;
    if (!proc.running) {
        path.destroy();
        return;
    }
    const Tap* tap = tapOf(proc);
    const SinkRecord* tapSink = tap != nullptr ? table.tapSink(tap->uuid) : nullptr;
    const SinkRecord* target = tap != nullptr ? replaySink(proc, *tap) : nullptr;
    if (tapSink == nullptr || target == nullptr || tapSink->name != tap->sinkName) {
        return;  // not yet (or no longer) there; a later change brings them
    }
    const bool silent = !tapIsSounding(*tap);
    if (!path.made() && proc.failure == kAudioNoError) {
        // PipeWire's session manager relinks a movable replay by rules of
        // its own (and does not always tell): there it stays put.
        if (!path.make(connection.context(), *tapSink, *target, silent, tapPeriod(*tap),
                       streamName(proc), !pipeWire)) {
            proc.failure = kAudioHardwareUnspecifiedError;
        }
        return;
    }
    const auto agg = aggregates.find(proc.device);
    const bool moveInQuestion =
        agg != aggregates.end() && std::ranges::any_of(moveChecks, [&](const auto& check) {
            return check.second->tap == agg->second.tap;
        });
    if (path.reading() && path.replaySink() != target->name && !moveInQuestion) {
        // The tapped streams play elsewhere now (or the replay's sink went):
        // the replay follows, and the capture runs on, so they stay captured
        // meanwhile.
        if (!path.moveReplay(connection.context(), *target, streamName(proc))) {
            proc.failure = kAudioHardwareUnspecifiedError;
            path.destroy();
        }
        return;
    }
    if (path.ready() && path.corked() != silent) {
        path.setCorked(silent);
    }
    if (path.ready()) {
        // The tap's streams came or went: their period may be another now.
        if (const auto period = tapPeriod(*tap); period != path.period()) {
            path.setPeriod(period);
        }
    }
}

// What other mixers list the IO proc's streams as: the application the
// aggregate device is named after. Mixers put our connection's name
// ("Morvale") before a stream's own, so the device's "Morvale: " is left out.
std::string Impl::streamName(const IOProc& proc) const {
    const auto agg = aggregates.find(proc.device);
    return streamNameOf(agg != aggregates.end() ? agg->second.name : std::string());
}

// The streams of a tap that most of them are content with, see ioPeriod.
std::chrono::milliseconds Impl::tapPeriod(const Tap& tap) const {
    std::vector<std::chrono::microseconds> latencies;
    for (const AudioObjectID id : tap.members) {
        if (const auto* process = table.process(id)) {
            for (const std::uint32_t input : process->sinkInputs) {
                if (const auto it = table.sinkInputs().find(input);
                    it != table.sinkInputs().end()) {
                    latencies.push_back(it->second.latency);
                }
            }
        }
    }
    return ioPeriod(options.fragment, latencies);
}

void Impl::onStreamState(IOProc& proc) {
    IOPath& path = proc.path;
    if (auto move = path.takeReplayMove()) {
        checkReplayMove(proc, std::move(*move));
    }
    if (!path.kicked() && path.ready()) {
        path.setKicked();
        kickTapSink(proc);
        reconcile();  // the tapped streams can move in now
    }
    switch (path.onStateChange()) {
        case IOPath::Change::failed:
            // The tap sink went away, or the replay could not start: the
            // session is rebuilt by its owner, or the streams are made again
            // on the next connection.
            proc.failure = kAudioHardwareUnspecifiedError;
            path.destroy();
            break;
        case IOPath::Change::replayEnded:
            // The sink the replay played to went away: the replay is made
            // again where it plays now, while the capture runs on.
            path.destroyReplay();
            reconcile();
            break;
        case IOPath::Change::none:
            break;
    }
    connection.wake();
}

// The replay moved. When the sink it left is still there, someone moved it
// (a user, in another mixer): that is the tap's sink from now on, for the
// replay and for its streams when they are let go. When that sink has gone,
// the server moved it to the default: that is no one's choice, and the
// replay goes where it belongs. Which it is shows only once the server has
// finished with the old sink, so it is asked.
void Impl::checkReplayMove(IOProc& proc, IOPath::ReplayMove move) {
    const auto agg = aggregates.find(proc.device);
    if (agg == aggregates.end()) {
        return;
    }
    const std::uint64_t id = nextMoveCheck++;
    auto& pending = moveChecks[id];
    pending = std::make_unique<MoveCheck>(MoveCheck{this, id, agg->second.tap, std::move(move.to)});
    pa_operation* op = pa_context_get_sink_info_by_name(
        connection.context(), move.from.c_str(),
        [](pa_context*, const pa_sink_info* info, int /*eol*/, void* data) {
            auto* check = static_cast<MoveCheck*>(data);
            Impl* impl = check->impl;
            if (info != nullptr) {
                check->chosen = true;
                return;  // the end of the list follows
            }
            // A sink of ours is no place for a tap's streams (the replay
            // goes back where it belongs).
            const SinkRecord* to = impl->table.sinkByName(check->to);
            const auto tap = impl->tapSinks.taps().find(check->tap);
            if (check->chosen && to != nullptr && !to->isTap() &&
                tap != impl->tapSinks.taps().end()) {
                tap->second.origins.choose(check->to);
            }
            impl->moveChecks.erase(check->id);  // `check` is gone now
            impl->reconcile();
            impl->connection.wake();
        },
        pending.get());
    if (op == nullptr) {
        moveChecks.erase(id);
    }
    forget(op);
}

// PulseAudio's null sink arms its first period with the long latency it had
// before our capture asked for short fragments, so the first captured data
// would come only after about two seconds. Suspending and resuming it
// restarts its timing with the short period.
// PipeWire's graph takes the short quantum at once, and a suspend there
// clears the formats of the sink's ports while our capture is linked to
// them: now and then one monitor port is not set up again and its channel
// stays silent for as long as the tap lives. So PipeWire is left alone.
void Impl::kickTapSink(const IOProc& proc) {
    if (pipeWire) {
        return;
    }
    const Tap* tap = tapOf(proc);
    const SinkRecord* sink = tap != nullptr ? table.tapSink(tap->uuid) : nullptr;
    if (sink == nullptr) {
        return;
    }
    forget(
        pa_context_suspend_sink_by_index(connection.context(), sink->index, 1, nullptr, nullptr));
    forget(
        pa_context_suspend_sink_by_index(connection.context(), sink->index, 0, nullptr, nullptr));
}

}  // namespace morvale::pulse
