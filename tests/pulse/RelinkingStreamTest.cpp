// A captured stream that someone moves is left alone until it lands: PipeWire
// shows it on no sink while its session manager relinks it, and a move of ours
// in that moment would undo the user's choice before it is ever seen.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "TableBuilder.h"
#include "platform/pulse/StreamOrigins.h"

namespace morvale::pulse::testing {
namespace {

constexpr std::uint32_t kSpeakers = 0;
constexpr std::uint32_t kHeadphones = 1;
constexpr std::uint32_t kTapSink = 5;

TEST(RelinkingStream, AStreamOnNoSinkAfterItPlayedIsLeftToLandWhereItWasSent) {
    struct Step {
        std::string what;
        std::uint32_t sink;  // where stream 1 shows now
        bool relinking;
        std::optional<std::string> chosen;
    };
    // One stream's life, step after step.
    const std::vector<Step> steps{
        {"new, not linked yet: ours to capture", kNoIndex, false, std::nullopt},
        {"plays on its own sink", kHeadphones, false, std::nullopt},
        {"captured", kTapSink, false, std::nullopt},
        {"moved by someone, on its way", kNoIndex, true, std::nullopt},
        {"landed where the user sent it", kSpeakers, false, "speakers"},
        {"captured again", kTapSink, false, "speakers"},
        {"on its way once more", kNoIndex, true, "speakers"},
    };
    TableBuilder t;
    t.table.setDefaultSinkName("speakers");
    t.sink(kSpeakers, "speakers");
    t.sink(kHeadphones, "headphones");
    t.sink(kTapSink, "morvale_tap_1_1", "TAP-1");
    t.client(10, 100);
    StreamOrigins origins;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        t.table.info(SinkInputRecord{1, 10, step.sink});
        origins.observe(t.table, kTapSink, {1}, {});
        EXPECT_EQ(origins.relinking(),
                  step.relinking ? std::set<std::uint32_t>{1} : std::set<std::uint32_t>{});
        EXPECT_EQ(origins.chosen(), step.chosen);
    }

    // A stream that ends while on its way is forgotten; one let go of is not
    // watched.
    t.table.event<SinkInputRecord>(Event::removed, 1);
    origins.observe(t.table, kTapSink, {}, {});
    EXPECT_TRUE(origins.relinking().empty());
    t.table.info(SinkInputRecord{2, 10, kTapSink});
    origins.observe(t.table, kTapSink, {2}, {});
    t.table.info(SinkInputRecord{2, 10, kNoIndex});
    origins.observe(t.table, kTapSink, {}, {});
    EXPECT_TRUE(origins.relinking().empty());
}

}  // namespace
}  // namespace morvale::pulse::testing
