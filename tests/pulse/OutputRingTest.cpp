#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>

#include "platform/pulse/OutputRing.h"

namespace morvale::pulse {
namespace {

std::vector<unsigned char> bytes(unsigned char first, std::size_t count) {
    std::vector<unsigned char> out(count);
    std::iota(out.begin(), out.end(), first);
    return out;
}

// Everything in the ring, oldest first, read the way the replay reads it.
std::vector<unsigned char> drain(OutputRing& ring) {
    std::vector<unsigned char> out;
    while (ring.size() > 0) {
        const auto piece = ring.front(3);
        out.insert(out.end(), piece.begin(), piece.end());
        ring.pop(piece.size());
    }
    return out;
}

TEST(OutputRing, KeepsTheNewestBytesUpToItsLimitAcrossTheWrapAround) {
    // A ring of 8 bytes that keeps at most 6; each case starts with bytes
    // 0..3 in it, two of them already read, so the writes wrap around.
    struct Case {
        std::string what;
        std::size_t push;  // bytes 10, 11, … appended
        std::vector<unsigned char> kept;
        std::size_t leftOut;
    };
    const std::vector<Case> cases{
        {"fits", 3, {2, 3, 10, 11, 12}, 0},
        {"fills up to the limit", 4, {2, 3, 10, 11, 12, 13}, 0},
        {"the oldest go", 6, {10, 11, 12, 13, 14, 15}, 2},
        {"longer than the limit", 9, {13, 14, 15, 16, 17, 18}, 5},
        {"nothing", 0, {2, 3}, 0},
    };
    for (const Case& c : cases) {
        OutputRing ring;
        ring.reset(8, 6);
        ring.push(bytes(0, 4));
        ring.pop(2);
        EXPECT_EQ(ring.push(bytes(10, c.push)), c.leftOut) << c.what;
        EXPECT_EQ(drain(ring), c.kept) << c.what;
    }
}

TEST(OutputRing, ReadsUpToTheWrapAroundAndALowerLimitDropsTheOldest) {
    OutputRing ring;
    ring.reset(8, 8);
    ring.push(bytes(0, 6));
    ring.pop(5);
    ring.push(bytes(10, 5));  // 5, 10, 11 at the end; 12, 13, 14 wrapped around
    EXPECT_EQ(ring.front(8).size(), 3u);
    EXPECT_EQ(ring.setLimit(4), 2u);
    EXPECT_EQ(drain(ring), (std::vector<unsigned char>{11, 12, 13, 14}));
    EXPECT_EQ(ring.setLimit(100), 0u);
    EXPECT_EQ(ring.limit(), 8u);
}

TEST(OutputRing, ReadingOrTakingMoreThanItHoldsEmptiesItAndLeavesItWhole) {
    // A ring of 8 bytes; each case holds some bytes (written after `start`
    // bytes were written and read, so some wrap around), takes `taken` of
    // them, then takes bytes 20, 21, 22 and is drained.
    struct Case {
        std::string what;
        std::size_t start;
        std::size_t held;
        std::size_t taken;
        std::vector<unsigned char> after;
    };
    const std::vector<Case> cases{
        {"empty", 0, 0, 4, {20, 21, 22}},
        {"more than it holds", 0, 2, 5, {20, 21, 22}},
        {"more than it holds, wrapped around", 6, 4, 7, {20, 21, 22}},
        {"less than it holds, wrapped around", 6, 4, 1, {11, 12, 13, 20, 21, 22}},
    };
    for (const Case& c : cases) {
        OutputRing ring;
        ring.reset(8, 8);
        ring.push(bytes(0, c.start));
        ring.pop(c.start);
        ring.push(bytes(10, c.held));
        EXPECT_LE(ring.front(c.taken).size(), c.held) << c.what;
        ring.pop(c.taken);
        EXPECT_EQ(ring.size(), c.held - std::min(c.held, c.taken)) << c.what;
        EXPECT_EQ(ring.push(bytes(20, 3)), 0u) << c.what;
        EXPECT_EQ(drain(ring), c.after) << c.what;
    }
}

}  // namespace
}  // namespace morvale::pulse
