// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/Gain.h"
#include "platform/AudioHardware.h"

namespace morvale {

// The gain applied to frame `frame` of a callback that ramps from `last` by
// `step` per frame. Written as a product rather than a running sum so that
// every frame is independent and the loops that use it vectorise; it stays
// within float rounding of the running sum last + step + step + ... The frame
// is a signed 32-bit number because that converts to float in vector
// registers; a buffer's 32-bit byte size bounds its frames to 2^30.
inline float rampGain(float last, float step, std::int32_t frame) noexcept {
    return last + step * static_cast<float>(frame + 1);
}

// The work of one tap session's IO cycle: copies the tapped input channels to
// the output buffers, multiplied by the session's gain, ramping linearly from
// the gain the previous cycle ended on.
//
// Input buffers are interleaved 32-bit floats. The first `skippedInputStreams`
// input buffers (the output device's own inputs) and every buffer without data
// or channels are ignored; the channels of the rest, in order, are the sources.
// Output channel j, counted across all usable output buffers, plays source
// j mod (number of sources). Frames an input does not cover stay silent. The
// output is always finite: a gain that is not a finite number counts as 0, and
// a sample that would not be finite plays as 0.
//
// A gain above 1 (a boost) can lift samples past full scale, where the device
// would clip them: while the gain is above 1, and for as long as the limiter
// is still releasing afterwards, a peak limiter keeps every output sample
// within [-1, 1]. It follows the loudest channel of each frame with an instant
// attack and a slow release, so a steady loud signal is turned down evenly
// instead of being clipped. At a gain of 1 or less it costs nothing.
//
// Real-time safe: run() allocates nothing, takes no lock and makes no system
// call. It belongs to one IO thread; only the Gain is shared.
class TapIOBlock {
public:
    // Input channels recorded per cycle in storage made here. Channels beyond
    // this many are found by walking the input buffer list again: slower, with
    // the same mapping. A stereo tap behind a device's own inputs needs a few.
    static constexpr std::size_t kListedChannels = 64;

    // `allowWideVectors` false keeps to the vector instructions every processor
    // of the architecture has; otherwise wider ones are used where present.
    TapIOBlock(std::shared_ptr<const Gain> gain, std::uint32_t skippedInputStreams,
               float initialGain, bool allowWideVectors = true) noexcept;

    // One IO cycle. Either list may be null, meaning no buffers.
    void run(const AudioBufferList* input, AudioBufferList* output) noexcept;

    // The gain the last cycle ended on.
    float lastGain() const noexcept { return lastGain_; }

    // The limiter's release, per frame: its gain recovers by about 1 dB in
    // 20 ms at 48 kHz, slowly enough that it does not follow a low tone's
    // waveform.
    static constexpr float kLimiterRelease = 0.99988f;

private:
    // One input channel: sample f is data[f * stride + channel] for f < frames.
    // Kept as offsets, not a pointer into the buffer, so that no pointer is
    // formed past a buffer whose channel count exceeds its data.
    struct Source {
        const float* data;
        std::uint32_t channel;
        std::uint32_t stride;
        std::uint32_t frames;
    };

    bool usableInput(std::uint32_t index, const AudioBuffer& buffer) const noexcept;
    void collectSources(const AudioBufferList* input) noexcept;
    Source sourceAt(const AudioBufferList& input, std::uint64_t index) const noexcept;
    // Writes one output buffer through a layout-specific loop; false when the
    // layout has none and the general per-channel path must run.
    bool writeInterleaved(AudioBuffer& out, std::uint32_t frames, std::uint64_t firstChannel,
                          float target) const noexcept;
    void writeByChannel(const AudioBufferList& input, AudioBuffer& out, std::uint32_t frames,
                        std::uint64_t firstChannel, float target) const noexcept;
    // Limits one written output buffer from the envelope `from`; returns the
    // envelope at its end.
    static float limit(AudioBuffer& out, float from) noexcept;

    std::shared_ptr<const Gain> gain_;
    std::uint32_t skippedInputStreams_;
    float lastGain_;
    bool wideVectors_;
    // The limiter's envelope: the peak it follows, 1 or less when it is idle.
    float envelope_ = 0.0f;

    // Rebuilt by every cycle.
    std::uint64_t sourceCount_ = 0;
    std::size_t listed_ = 0;
    std::uint32_t usableInputs_ = 0;
    std::array<Source, kListedChannels> sources_{};
};

// Wraps a TapIOBlock as the block the hardware calls. Copies of the result
// share the one TapIOBlock, so its state survives however often the hardware
// copies the block at registration.
AudioDeviceIOBlock makeDeviceIOBlock(std::shared_ptr<TapIOBlock> block);

}  // namespace morvale
