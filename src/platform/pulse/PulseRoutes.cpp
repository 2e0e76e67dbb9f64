// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: output routes. A route names processes as a tap
// does (by process object, or by who the process is, those that start later
// included); each playback stream of those processes is moved to the route's
// sink as soon as it is listed (OutputRouter decides which moves), and a
// stream a tap holds goes there when the tap lets it go, while its replay
// plays there meanwhile.
//
// Moving a stream is the only way the protocol offers to place one. The
// server's stream restore could start new streams on the sink from their
// first sample, but its entries are kept per restore key, which is often a
// media role that many applications share, and they would outlive this
// program and pin streams nobody routed. So the entries a route's moves make
// the server save are put back (RestoreGuard::touch), and a new stream plays
// on the default until its move lands.

#include <algorithm>

#include "platform/CallGroup.h"
#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

std::map<std::uint32_t, std::string> Impl::routedStreams() {
    std::map<std::uint32_t, std::string> wanted;
    if (routes.empty()) {
        return wanted;
    }
    // Asked for as clients connect, so that their first stream is known.
    for (const auto& [index, client] : table.clients()) {
        if (!client.ours && client.pid > 0) {
            identities.lookup(client.hints);
        }
    }
    for (const AudioObjectID id : table.processObjects()) {
        const ObjectTable::Process* process = table.process(id);
        if (process == nullptr || process->sinkInputs.empty()) {
            continue;
        }
        // A call object is who its streams are: only the calls' route names it.
        const auto identity =
            process->call ? std::optional(ProcessIdentity{std::string(kCallStreamsBundleID), {}})
                          : identities.lookup(process->hints);
        const auto route = std::ranges::find_if(routes, [&](const OutputRoute& r) {
            return std::ranges::find(r.streams.processes, id) != r.streams.processes.end() ||
                   (identity && r.streams.capturesIdentity(identity->bundleID, identity->name));
        });
        if (route != routes.end()) {
            for (const std::uint32_t input : process->sinkInputs) {
                wanted.emplace(input, route->deviceUID);
            }
        }
    }
    return wanted;
}

void Impl::applyRoutes() {
    // A tap's streams are its own to move while it captures them, and so are
    // the streams inside a tap sink (on their way in or out).
    std::set<std::uint32_t> captured;
    for (const auto& [id, tap] : tapSinks.taps()) {
        if (!capturing(tap)) {
            continue;
        }
        for (const AudioObjectID member : tap.members) {
            if (const auto* process = table.process(member)) {
                captured.insert(process->sinkInputs.begin(), process->sinkInputs.end());
            }
        }
    }
    const auto held = [&](std::uint32_t input) {
        if (captured.contains(input)) {
            return true;
        }
        const SinkRecord* sink = table.sink(table.sinkInputs().at(input).sink);
        return sink != nullptr && sink->isTap();
    };
    for (const OutputRouter::Move& move : router.update(table, routedStreams(), held)) {
        const std::string& key = table.sinkInputs().at(move.input).restoreKey;
        if (!key.empty()) {
            restore.touch(key);
        }
        forget(pa_context_move_sink_input_by_index(connection.context(), move.input, move.sink,
                                                   nullptr, nullptr));
    }
}

std::optional<std::string> Impl::routeWish(const Tap& tap) const {
    for (const AudioObjectID member : tap.members) {
        if (const auto* process = table.process(member)) {
            for (const std::uint32_t input : process->sinkInputs) {
                if (auto wish = router.wish(input)) {
                    return wish;
                }
            }
        }
    }
    return std::nullopt;
}

std::string Impl::outputOf(const ObjectTable::Process& process) const {
    for (const std::uint32_t input : process.sinkInputs) {
        const auto it = table.sinkInputs().find(input);
        const SinkRecord* sink =
            it != table.sinkInputs().end() ? table.sink(it->second.sink) : nullptr;
        if (sink == nullptr) {
            continue;
        }
        if (!sink->isTap()) {
            return sink->name;
        }
        for (const auto& [id, proc] : procs) {
            const Tap* tap = tapOf(*proc);
            if (tap != nullptr && tap->uuid == sink->tapUuid && !proc->path.replaySink().empty()) {
                return proc->path.replaySink();
            }
        }
    }
    return {};
}

}  // namespace morvale::pulse
