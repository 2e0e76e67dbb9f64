// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace morvale::pulse {

// What the IO block produced and the replay stream has not asked for yet: a
// ring of bytes that holds at most `limit` of them. When more come, the
// oldest are left out: jitter between the capture and the playback clocks
// costs nothing, while a device clock slower than the tap's, or a burst of
// captured data, never builds up latency. Storage is made by `reset`, outside
// the IO path; nothing else allocates.
class OutputRing {
public:
    // Room for `capacity` bytes, empty, keeping at most `limit` (≤ capacity).
    void reset(std::size_t capacity, std::size_t limit);
    // A new limit (at most the capacity); the oldest bytes beyond it go.
    // Returns how many went.
    std::size_t setLimit(std::size_t limit);
    // Appends `data`, leaving out the oldest bytes beyond the limit (of the
    // data itself too, if it is longer). Returns how many were left out.
    std::size_t push(std::span<const unsigned char> data);
    // The oldest bytes in one piece, at most `most` of them (fewer where the
    // ring wraps around).
    std::span<const unsigned char> front(std::size_t most) const;
    void pop(std::size_t count);
    void clear() { head_ = size_ = 0; }

    std::size_t size() const { return size_; }
    std::size_t limit() const { return limit_; }

private:
    std::vector<unsigned char> bytes_;
    std::size_t limit_ = 0;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

}  // namespace morvale::pulse
