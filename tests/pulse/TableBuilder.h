// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pulse/server/ObjectTable.h"

namespace morvale::pulse::testing {

// An object table fed as the server would feed it, with a clock the test
// moves by hand.
struct TableBuilder {
    std::chrono::steady_clock::time_point now{};
    ObjectTable table{[this] { return now; }};

    void client(std::uint32_t index, std::int32_t pid, bool ours = false) {
        table.event<ClientRecord>(Event::added, index);
        ClientRecord record{index, pid, {}, ours};
        record.hints.pid = pid;
        record.hints.binary = "player" + std::to_string(pid);
        table.info(record);
    }
    void sink(std::uint32_t index, std::string name, std::string tapUuid = "") {
        table.event<SinkRecord>(Event::added, index);
        table.info(
            SinkRecord{.index = index, .name = std::move(name), .tapUuid = std::move(tapUuid)});
    }
    void source(std::uint32_t index, bool monitor) {
        table.event<SourceRecord>(Event::added, index);
        table.info(SourceRecord{index, monitor});
    }
    // A playback stream; a "phone" one is a voice call's. False when the
    // table took the reply for a stale one.
    bool play(std::uint32_t index, std::uint32_t client, std::uint32_t sinkIndex,
              bool corked = false, bool phone = false, bool ours = false) {
        SinkInputRecord record{index, client, sinkIndex, corked, ours};
        record.phone = phone;
        return table.info(record);
    }
    void record(std::uint32_t index, std::uint32_t client, std::uint32_t source,
                bool corked = false, bool ours = false) {
        table.info(SourceOutputRecord{index, client, source, corked, ours});
    }
    // The process's own object, or its call object.
    const ObjectTable::Process* find(std::int32_t pid, bool call = false) const {
        for (const AudioObjectID id : table.processObjects()) {
            const auto* process = table.process(id);
            if (process->pid == pid && process->call == call) {
                return process;
            }
        }
        return nullptr;
    }
    AudioObjectID idOf(std::int32_t pid, bool call = false) const {
        const auto* process = find(pid, call);
        return process != nullptr ? process->id : 0;
    }
    std::vector<std::int32_t> pids() const {
        std::vector<std::int32_t> out;
        for (const AudioObjectID id : table.processObjects()) {
            out.push_back(table.process(id)->pid);
        }
        return out;
    }
};

}  // namespace morvale::pulse::testing
