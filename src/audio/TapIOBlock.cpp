// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/TapIOBlock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace morvale {

namespace {

constexpr std::uint64_t kBytesPerSample = sizeof(float);

// Frames in a buffer of interleaved floats; the buffer must have channels.
// Computed in 64 bits: four times a 32-bit channel count can overflow 32 bits.
std::uint32_t frameCount(const AudioBuffer& buffer) noexcept {
    return static_cast<std::uint32_t>(buffer.mDataByteSize /
                                      (kBytesPerSample * buffer.mNumberChannels));
}

bool usableOutput(const AudioBuffer& buffer) noexcept {
    return buffer.mData != nullptr && buffer.mNumberChannels != 0;
}

// A played sample: what is not a finite number (from a damaged source, or a
// product beyond the float range) plays as silence, so the output never holds
// one. Written on the bits, without a branch, so that the loops stay
// vectorised: an exponent of all ones is an infinity or NaN.
inline float finiteOrSilent(float sample) noexcept {
    std::uint32_t bits;
    std::memcpy(&bits, &sample, sizeof bits);
    constexpr std::uint32_t kExponent = 0x7F800000u;
    bits &= (bits & kExponent) == kExponent ? 0u : ~0u;
    std::memcpy(&sample, &bits, sizeof bits);
    return sample;
}

// A gain that is not a finite number silences rather than fails.
float playableGain(float gain) noexcept {
    return std::isfinite(gain) ? gain : 0.0f;
}

float stepOver(float last, float target, std::uint32_t frames) noexcept {
    return frames >= 1 ? (target - last) / static_cast<float>(frames) : 0.0f;
}

// Every x86-64 processor has 16-byte vectors, and most current ones 32-byte
// ones as well (AVX2). The layout loops are built for both, and each block
// picks the build its processor runs when it is made, never in the callback.
// (Built as plain functions chosen by a flag rather than as load-time clones:
// the resolver such clones need runs before a sanitizer runtime is ready.)
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MORVALE_WIDE_VECTORS 1
#else
#define MORVALE_WIDE_VECTORS 0
#endif

bool wideVectorsAvailable() noexcept {
#if MORVALE_WIDE_VECTORS
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

// out[f * C + k] = gain(f) * in[f * M + k mod M] for f < frames: the input
// frame's M channels repeated across the output frame's C channels. With C and
// M known here the compiler vectorises the loops. A steady gain (step 0, every
// callback but the one after a change) gets loops without the ramp's
// arithmetic; they compute the same products, as last + 0 * (f + 1) is last.
template <std::size_t C, std::size_t M>
[[gnu::always_inline]] inline void scaleFramesLoops(float* out, const float* in,
                                                    std::int32_t frames, float last,
                                                    float step) noexcept {
    const auto count = static_cast<std::size_t>(frames);
    if (step == 0.0f) {
        if constexpr (C == M) {
            for (std::size_t i = 0; i < count * C; ++i) {
                out[i] = finiteOrSilent(last * in[i]);
            }
        } else {
            for (std::size_t frame = 0; frame < count; ++frame) {
                for (std::size_t k = 0; k < C; ++k) {
                    out[frame * C + k] = finiteOrSilent(last * in[frame * M + k % M]);
                }
            }
        }
        return;
    }
    for (std::int32_t f = 0; f < frames; ++f) {
        const float gain = rampGain(last, step, f);
        const auto frame = static_cast<std::size_t>(f);
        for (std::size_t k = 0; k < C; ++k) {
            out[frame * C + k] = finiteOrSilent(gain * in[frame * M + k % M]);
        }
    }
}

template <std::size_t C, std::size_t M>
void scaleFrames(float* out, const float* in, std::int32_t frames, float last,
                 float step) noexcept {
    scaleFramesLoops<C, M>(out, in, frames, last, step);
}

#if MORVALE_WIDE_VECTORS
template <std::size_t C, std::size_t M>
[[gnu::target("avx2")]] void scaleFramesWide(float* out, const float* in, std::int32_t frames,
                                             float last, float step) noexcept {
    scaleFramesLoops<C, M>(out, in, frames, last, step);
}
#endif

// The same for a stereo input into C = 6 or 8 output channels. The loops above
// store such frames in 8-byte pieces; here each scaled stereo frame is moved as
// one 64-bit unit and a whole output frame stored at once, which is about twice
// as fast. (One build only: a 32-byte build of it was slower.)
template <std::size_t C>
void repeatStereo(float* out, const float* in, std::int32_t frames, float last,
                  float step) noexcept {
    static_assert(C % 2 == 0);
    for (std::int32_t f = 0; f < frames; ++f) {
        const float gain = rampGain(last, step, f);
        const auto frame = static_cast<std::size_t>(f);
        const float scaled[2] = {finiteOrSilent(gain * in[2 * frame]),
                                 finiteOrSilent(gain * in[2 * frame + 1])};
        std::uint64_t pair;
        std::memcpy(&pair, scaled, sizeof pair);
        std::uint64_t row[C / 2];
        for (std::uint64_t& unit : row) {
            unit = pair;
        }
        std::memcpy(out + frame * C, row, sizeof row);
    }
}

using ScaleFrames = void (*)(float*, const float*, std::int32_t, float, float) noexcept;

template <std::size_t C, std::size_t M>
ScaleFrames scaleFramesBuild(bool wide) noexcept {
#if MORVALE_WIDE_VECTORS
    if (wide) {
        return scaleFramesWide<C, M>;
    }
#else
    (void)wide;
#endif
    return scaleFrames<C, M>;
}

// Layouts with a loop of their own: a mono or stereo tap into the common output
// widths, and an input as wide as the output.
ScaleFrames scaleFramesFor(std::uint32_t outChannels, std::uint32_t inChannels,
                           bool wide) noexcept {
    if (inChannels == 1) {
        switch (outChannels) {
            case 1:
                return scaleFramesBuild<1, 1>(wide);
            case 2:
                return scaleFramesBuild<2, 1>(wide);
            case 4:
                return scaleFramesBuild<4, 1>(wide);
            case 6:
                return scaleFramesBuild<6, 1>(wide);
            case 8:
                return scaleFramesBuild<8, 1>(wide);
            default:
                return nullptr;
        }
    }
    if (inChannels == 2) {
        switch (outChannels) {
            case 1:
                return scaleFramesBuild<1, 2>(wide);
            case 2:
                return scaleFramesBuild<2, 2>(wide);
            case 4:
                return scaleFramesBuild<4, 2>(wide);
            case 6:
                return repeatStereo<6>;
            case 8:
                return repeatStereo<8>;
            default:
                return nullptr;
        }
    }
    if (inChannels == outChannels) {
        switch (outChannels) {
            case 4:
                return scaleFramesBuild<4, 4>(wide);
            case 6:
                return scaleFramesBuild<6, 6>(wide);
            case 8:
                return scaleFramesBuild<8, 8>(wide);
            default:
                return nullptr;
        }
    }
    return nullptr;
}

}  // namespace

TapIOBlock::TapIOBlock(std::shared_ptr<const Gain> gain, std::uint32_t skippedInputStreams,
                       float initialGain, bool allowWideVectors) noexcept
    : gain_(std::move(gain)),
      skippedInputStreams_(skippedInputStreams),
      lastGain_(playableGain(initialGain)),
      wideVectors_(allowWideVectors && wideVectorsAvailable()) {}

bool TapIOBlock::usableInput(std::uint32_t index, const AudioBuffer& buffer) const noexcept {
    return index >= skippedInputStreams_ && buffer.mData != nullptr && buffer.mNumberChannels != 0;
}

void TapIOBlock::collectSources(const AudioBufferList* input) noexcept {
    sourceCount_ = 0;
    listed_ = 0;
    usableInputs_ = 0;
    if (input == nullptr || input->mBuffers == nullptr) {
        return;
    }
    for (std::uint32_t i = 0; i < input->mNumberBuffers; ++i) {
        const AudioBuffer& buffer = input->mBuffers[i];
        if (!usableInput(i, buffer)) {
            continue;
        }
        ++usableInputs_;
        const std::uint32_t channels = buffer.mNumberChannels;
        const std::uint32_t frames = frameCount(buffer);
        const auto* data = static_cast<const float*>(buffer.mData);
        for (std::uint32_t k = 0; k < channels && listed_ < kListedChannels; ++k) {
            sources_[listed_++] = Source{data, k, channels, frames};
        }
        sourceCount_ += channels;
    }
}

TapIOBlock::Source TapIOBlock::sourceAt(const AudioBufferList& input,
                                        std::uint64_t index) const noexcept {
    if (index < listed_) {
        return sources_[index];
    }
    // Past the listed channels: find the buffer that holds this channel.
    for (std::uint32_t i = 0; i < input.mNumberBuffers; ++i) {
        const AudioBuffer& buffer = input.mBuffers[i];
        if (!usableInput(i, buffer)) {
            continue;
        }
        if (index < buffer.mNumberChannels) {
            return Source{static_cast<const float*>(buffer.mData),
                          static_cast<std::uint32_t>(index), buffer.mNumberChannels,
                          frameCount(buffer)};
        }
        index -= buffer.mNumberChannels;
    }
    return Source{nullptr, 0, 1, 0};  // not reached: index < sourceCount_
}

bool TapIOBlock::writeInterleaved(AudioBuffer& out, std::uint32_t frames,
                                  std::uint64_t firstChannel, float target) const noexcept {
    // Only a single usable input buffer has channels at a fixed stride that a
    // layout loop can read; its channels are then all the sources, in order.
    if (usableInputs_ != 1) {
        return false;
    }
    const Source& first = sources_[0];
    const std::uint32_t inChannels = first.stride;
    const std::uint32_t channels = out.mNumberChannels;
    const auto rotation = static_cast<std::uint32_t>(firstChannel % inChannels);
    // The loops start every output frame at input channel 0; a one-channel
    // output buffer can start anywhere by moving the input pointer instead.
    if (rotation != 0 && channels != 1) {
        return false;
    }
    const ScaleFrames scale = scaleFramesFor(channels, inChannels, wideVectors_);
    if (scale == nullptr) {
        return false;
    }
    const std::uint32_t n = std::min(first.frames, frames);
    if (n > 0) {
        scale(static_cast<float*>(out.mData), first.data + rotation, static_cast<std::int32_t>(n),
              lastGain_, stepOver(lastGain_, target, n));
    }
    // Silence after the written frames, up to the buffer's end.
    const std::uint64_t written = kBytesPerSample * n * channels;
    std::memset(static_cast<unsigned char*>(out.mData) + written, 0,
                static_cast<std::size_t>(out.mDataByteSize - written));
    return true;
}

void TapIOBlock::writeByChannel(const AudioBufferList& input, AudioBuffer& out,
                                std::uint32_t frames, std::uint64_t firstChannel,
                                float target) const noexcept {
    std::memset(out.mData, 0, out.mDataByteSize);
    auto* samples = static_cast<float*>(out.mData);
    const std::size_t channels = out.mNumberChannels;
    for (std::size_t k = 0; k < channels; ++k) {
        const Source source = sourceAt(input, (firstChannel + k) % sourceCount_);
        const std::uint32_t n = std::min(source.frames, frames);
        if (n == 0) {
            continue;
        }
        const float step = stepOver(lastGain_, target, n);
        const float* in = source.data + source.channel;
        const auto frames32 = static_cast<std::int32_t>(n);
        for (std::int32_t f = 0; f < frames32; ++f) {
            const auto frame = static_cast<std::size_t>(f);
            samples[frame * channels + k] =
                finiteOrSilent(rampGain(lastGain_, step, f) * in[frame * source.stride]);
        }
    }
}

// Envelope e follows the frame's peak p: e = max(p, e * release). A frame
// plays at 1 / max(e, 1), so no sample exceeds full scale; the clamp only
// guards the last bit of rounding.
float TapIOBlock::limit(AudioBuffer& out, float from) noexcept {
    auto* samples = static_cast<float*>(out.mData);
    const std::size_t channels = out.mNumberChannels;
    const std::size_t frames = frameCount(out);
    float envelope = from;
    for (std::size_t f = 0; f < frames; ++f) {
        float* frame = samples + f * channels;
        float peak = 0.0f;
        for (std::size_t k = 0; k < channels; ++k) {
            peak = std::max(peak, std::fabs(frame[k]));
        }
        envelope = std::max(peak, envelope * kLimiterRelease);
        if (envelope > 1.0f) {
            const float scale = 1.0f / envelope;
            for (std::size_t k = 0; k < channels; ++k) {
                frame[k] = std::clamp(frame[k] * scale, -1.0f, 1.0f);
            }
        }
    }
    return envelope;
}

void TapIOBlock::run(const AudioBufferList* input, AudioBufferList* output) noexcept {
    const float target = playableGain(gain_->value());
    collectSources(input);
    const bool limiting = target > 1.0f || lastGain_ > 1.0f || envelope_ > 1.0f;
    float envelope = limiting ? 0.0f : envelope_;

    if (output != nullptr && output->mBuffers != nullptr) {
        std::uint64_t channel = 0;  // output channels so far, across buffers
        for (std::uint32_t i = 0; i < output->mNumberBuffers; ++i) {
            AudioBuffer& buffer = output->mBuffers[i];
            if (!usableOutput(buffer)) {
                continue;
            }
            const std::uint32_t frames = frameCount(buffer);
            if (sourceCount_ == 0 || frames == 0) {
                std::memset(buffer.mData, 0, buffer.mDataByteSize);
            } else if (!writeInterleaved(buffer, frames, channel, target)) {
                writeByChannel(*input, buffer, frames, channel, target);
            }
            if (limiting) {
                // Buffers play side by side: each starts from the cycle's
                // envelope, and the next cycle from the highest end.
                envelope = std::max(envelope, limit(buffer, envelope_));
            }
            channel += buffer.mNumberChannels;
        }
    }
    envelope_ = envelope;
    lastGain_ = target;
}

AudioDeviceIOBlock makeDeviceIOBlock(std::shared_ptr<TapIOBlock> block) {
    return [block = std::move(block)](const AudioTimeStamp*, const AudioBufferList* input,
                                      const AudioTimeStamp*, AudioBufferList* output,
                                      const AudioTimeStamp*) { block->run(input, output); };
}

}  // namespace morvale
