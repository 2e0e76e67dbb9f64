#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pulse/ObjectTable.h"

namespace morvale::pulse::testing {

// An object table fed as the server would feed it, with a clock the test
// moves by hand.
struct TableBuilder {
    std::chrono::steady_clock::time_point now{};
    ObjectTable table{[this] { return now; }};

    void client(std::uint32_t index, std::int32_t pid, bool ours = false) {
        table.event<ClientRecord>(Event::added, index);
        ClientRecord record;
        record.index = index;
        record.pid = pid;
        record.hints.pid = pid;
        record.hints.binary = "player" + std::to_string(pid);
        record.ours = ours;
        table.info(record);
    }
    void sink(std::uint32_t index, std::string name, std::string tapUuid = "") {
        table.event<SinkRecord>(Event::added, index);
        SinkRecord record;
        record.index = index;
        record.name = std::move(name);
        record.tapUuid = std::move(tapUuid);
        table.info(record);
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
