// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/replay/OutputRing.h"

#include <algorithm>
#include <cstring>

namespace morvale::pulse {

void OutputRing::reset(std::size_t capacity, std::size_t limit) {
    bytes_.assign(capacity, 0);
    limit_ = std::min(limit, capacity);
    head_ = size_ = 0;
}

std::size_t OutputRing::setLimit(std::size_t limit) {
    limit_ = std::min(limit, bytes_.size());
    const std::size_t excess = size_ > limit_ ? size_ - limit_ : 0;
    pop(excess);
    return excess;
}

std::size_t OutputRing::push(std::span<const unsigned char> data) {
    std::size_t leftOut = 0;
    if (data.size() > limit_) {
        leftOut = data.size() - limit_;
        data = data.subspan(leftOut);
    }
    if (size_ + data.size() > limit_) {
        const std::size_t excess = size_ + data.size() - limit_;
        pop(excess);
        leftOut += excess;
    }
    std::size_t tail = (head_ + size_) % bytes_.size();
    while (!data.empty()) {
        const std::size_t n = std::min(data.size(), bytes_.size() - tail);
        std::memcpy(bytes_.data() + tail, data.data(), n);
        size_ += n;
        data = data.subspan(n);
        tail = (tail + n) % bytes_.size();
    }
    return leftOut;
}

std::span<const unsigned char> OutputRing::front(std::size_t most) const {
    const std::size_t n = std::min({most, size_, bytes_.size() - head_});
    return {bytes_.data() + head_, n};
}

void OutputRing::pop(std::size_t count) {
    count = std::min(count, size_);
    if (count > 0) {
        head_ = (head_ + count) % bytes_.size();
        size_ -= count;
    }
}

}  // namespace morvale::pulse
