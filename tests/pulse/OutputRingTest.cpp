// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "platform/pulse/replay/OutputRing.h"

namespace morvale::pulse {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes bytes(unsigned char first, std::size_t count) {
    Bytes out(count);
    std::iota(out.begin(), out.end(), first);
    return out;
}

// Everything in the ring, oldest first, read the way the replay reads it.
Bytes drain(OutputRing& ring) {
    Bytes out;
    while (ring.size() > 0) {
        const auto piece = ring.front(3);
        out.insert(out.end(), piece.begin(), piece.end());
        ring.pop(piece.size());
    }
    return out;
}

TEST(OutputRing, KeepsTheNewestBytesUpToItsLimitAcrossTheWrapAround) {
    // A ring of 8 bytes holding bytes 2 and 3 at its middle, so that later
    // writes wrap around. Each case takes `taken` bytes, sets a new limit,
    // appends bytes 10, 11, … and reads everything.
    struct Case {
        std::string what;
        std::size_t limit, taken, newLimit, pushed;
        Bytes kept;
        std::size_t leftOut;  // by the new limit and the write
    };
    const std::vector<Case> cases{
        {"fits", 6, 0, 6, 3, {2, 3, 10, 11, 12}, 0},
        {"fills up to the limit", 6, 0, 6, 4, {2, 3, 10, 11, 12, 13}, 0},
        {"the oldest go", 6, 0, 6, 6, {10, 11, 12, 13, 14, 15}, 2},
        {"longer than the limit", 6, 0, 6, 9, {13, 14, 15, 16, 17, 18}, 5},
        {"nothing", 6, 0, 6, 0, {2, 3}, 0},
        {"a lower limit drops the oldest", 8, 0, 1, 0, {3}, 1},
        {"a limit above the ring's size is its size",
         8,
         0,
         100,
         9,
         {11, 12, 13, 14, 15, 16, 17, 18},
         3},
        {"taking more than it holds empties it and leaves it whole", 8, 5, 8, 3, {10, 11, 12}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OutputRing ring;
        ring.reset(8, c.limit);
        ring.push(bytes(0, 4));
        ring.pop(2);
        ring.pop(c.taken);
        std::size_t leftOut = ring.setLimit(c.newLimit);
        leftOut += ring.push(bytes(10, c.pushed));
        EXPECT_EQ(leftOut, c.leftOut);
        EXPECT_EQ(drain(ring), c.kept);
    }
}

}  // namespace
}  // namespace morvale::pulse
