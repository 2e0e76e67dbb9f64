// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "platform/AudioHardware.h"

namespace morvale::testing {

// One buffer of a test's buffer list: channels and interleaved samples.
struct BufferSpec {
    std::uint32_t channels = 0;
    std::vector<float> samples;
};

// `frames` frames of `channels` channels, every sample `value`.
inline BufferSpec filled(std::uint32_t channels, std::uint32_t frames, float value) {
    return BufferSpec{channels, std::vector<float>(std::size_t{channels} * frames, value)};
}

// Owns the samples of a buffer list and presents them as an AudioBufferList.
class Buffers {
public:
    explicit Buffers(std::vector<BufferSpec> layouts) : specs_(std::move(layouts)) {
        for (BufferSpec& s : specs_) {
            buffers_.push_back(
                {s.channels, static_cast<std::uint32_t>(s.samples.size() * 4), s.samples.data()});
        }
        list_ = {static_cast<std::uint32_t>(buffers_.size()), buffers_.data()};
    }
    AudioBufferList& list() { return list_; }
    const std::vector<float>& samples(std::size_t buffer) const { return specs_[buffer].samples; }

private:
    std::vector<BufferSpec> specs_;
    std::vector<AudioBuffer> buffers_;
    AudioBufferList list_{};
};

}  // namespace morvale::testing
