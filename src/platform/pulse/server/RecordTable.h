// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <utility>

namespace morvale::pulse {

inline constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

// What a subscription event says happened to a server object.
enum class Event { added, changed, removed };

// The records of one kind of server object (clients, sinks, sink-inputs,
// sources or source-outputs) by their server index, fed by subscription
// events and info replies in whatever order they arrive. Plain data; the
// owner (ObjectTable) runs under the main loop's lock.
//
// An info reply can come after the object's removal (it was asked for on an
// earlier event): the removed indices are remembered, so that such a stale
// reply does not bring the object back.
template <typename Record>
class RecordTable {
public:
    // Removed indices remembered to recognise stale replies. The server
    // hands out increasing indices, so the oldest ones can go first.
    static constexpr std::size_t kMaxTombstones = 512;

    // `added` and `changed` announce an info reply to come; `removed` forgets
    // the record. Returns whether a known record was forgotten.
    bool event(Event event, std::uint32_t index) {
        if (event == Event::removed) {
            bury(index);
            return records_.erase(index) > 0;
        }
        if (event == Event::added) {
            // A server that reuses indices announces the new object first.
            dead_.erase(index);
        }
        return false;
    }

    // An info reply. Returns false when it was stale or named no object,
    // and was ignored.
    bool info(Record record) {
        const std::uint32_t index = record.index;
        if (index == kNoIndex || dead_.contains(index)) {
            return false;
        }
        records_.insert_or_assign(index, std::move(record));
        return true;
    }

    // The connection is gone: its indices mean nothing on the next one.
    void clear() {
        records_.clear();
        dead_.clear();
    }

    const std::map<std::uint32_t, Record>& records() const { return records_; }

private:
    void bury(std::uint32_t index) {
        dead_.insert(index);
        while (dead_.size() > kMaxTombstones) {
            dead_.erase(dead_.begin());
        }
    }

    std::map<std::uint32_t, Record> records_;
    std::set<std::uint32_t> dead_;
};

}  // namespace morvale::pulse
