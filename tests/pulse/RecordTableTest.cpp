// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pulse/server/RecordTable.h"

namespace morvale::pulse {
namespace {

struct Named {
    std::uint32_t index = kNoIndex;
    std::string name;
};

// One step the server can take: an event, or an info reply (`name` set).
struct TableStep {
    Event event;
    const char* name = nullptr;
    std::uint32_t index = 3;
};
constexpr Event add = Event::added, change = Event::changed, remove = Event::removed;

TEST(RecordTable, EventsAndRepliesInTheOrdersServersSendThem) {
    struct Case {
        std::string what;
        std::vector<TableStep> steps;
        std::vector<bool> accepted;  // of the replies, in order
        std::vector<std::string> kept;
    };
    const std::vector<Case> cases{
        {"announced, then its reply", {{add}, {add, "a"}}, {true}, {"a"}},
        {"a reply without an event (a list on connecting)", {{add, "a"}}, {true}, {"a"}},
        {"a change replaces the record", {{add, "a"}, {change}, {add, "b"}}, {true, true}, {"b"}},
        {"removed before its reply came", {{add}, {remove}, {add, "late"}}, {false}, {}},
        {"stale after a removal", {{add, "a"}, {change}, {remove}, {add, "x"}}, {true, false}, {}},
        // The server hands an index out again, and announces it first.
        {"a reused index", {{add, "a"}, {remove}, {add}, {add, "b"}}, {true, true}, {"b"}},
        {"a change does not revive a removal", {{remove}, {change}, {add, "late"}}, {false}, {}},
        {"a reply that names no object", {{add, "none", kNoIndex}}, {false}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordTable<Named> table;
        std::vector<bool> accepted;
        for (const TableStep& step : c.steps) {
            if (step.name != nullptr) {
                accepted.push_back(table.info(Named{step.index, step.name}));
            } else {
                table.event(step.event, step.index);
            }
        }
        std::vector<std::string> kept;
        for (const auto& [index, record] : table.records()) {
            kept.push_back(record.name);
        }
        EXPECT_EQ(accepted, c.accepted);
        EXPECT_EQ(kept, c.kept);
    }
}

TEST(RecordTable, RemembersTheNewestRemovalsOnly) {
    RecordTable<Named> table;
    const auto limit = static_cast<std::uint32_t>(RecordTable<Named>::kMaxTombstones);
    for (std::uint32_t index = 0; index <= limit; ++index) {
        table.event(Event::removed, index);
    }
    // Index 0 is the oldest removal and is forgotten; 1 is still known.
    EXPECT_TRUE(table.info(Named{0, "reused"}));
    EXPECT_FALSE(table.info(Named{1, "stale"}));
}

}  // namespace
}  // namespace morvale::pulse
