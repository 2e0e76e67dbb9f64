// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <tuple>
#include <utility>
#include <limits>
#include <string>

#include "Buffers.h"
#include "audio/TapIOBlock.h"

namespace morvale {
namespace {

using testing::Buffers;
using testing::BufferSpec;
using testing::filled;

// Stereo frames with distinguishable channels: left +1, +2, ..., right -1, -2, ...
BufferSpec stereo(std::uint32_t frames) {
    BufferSpec layout{2, {}};
    for (std::uint32_t f = 1; f <= frames; ++f) {
        layout.samples.push_back(float(f));
        layout.samples.push_back(-float(f));
    }
    return layout;
}

// What output buffers hold before a cycle.
BufferSpec garbage(std::uint32_t channels, std::uint32_t frames) {
    return filled(channels, frames, 9.0f);
}

// A steady gain of 0.5 scales exactly: each expected sample is half its source's.
// Every case runs with the widest vectors the processor has and without them.
TEST(TapIOBlock, MapsSourceChannelsOntoOutputChannels) {
    const struct {
        const char* what;
        std::uint32_t skipped;
        std::vector<BufferSpec> inputs, outputs;
        std::vector<std::vector<float>> expected;  // each output buffer afterwards
    } cases[] = {
        {"stereo into stereo", 0, {stereo(2)}, {garbage(2, 2)}, {{.5f, -.5f, 1, -1}}},
        {"stereo into four wraps", 0, {stereo(2)}, {garbage(4, 2)},
         {{.5f, -.5f, .5f, -.5f, 1, -1, 1, -1}}},
        {"stereo into eight", 0, {stereo(1)}, {garbage(8, 1)},
         {{.5f, -.5f, .5f, -.5f, .5f, -.5f, .5f, -.5f}}},
        {"stereo into three", 0, {stereo(2)}, {garbage(3, 2)}, {{.5f, -.5f, .5f, 1, -1, 1}}},
        {"mono into stereo", 0, {BufferSpec{1, {2, 4}}}, {garbage(2, 2)}, {{1, 1, 2, 2}}},
        {"two mono outputs: left, then right", 0, {stereo(2)}, {garbage(1, 2), garbage(1, 2)},
         {{.5f, 1}, {-.5f, -1}}},
        {"the channel index runs on across odd widths", 0, {stereo(1)},
         {garbage(3, 1), garbage(2, 1)}, {{.5f, -.5f, .5f}, {-.5f, .5f}}},
        {"sources from several inputs, in order", 0, {BufferSpec{1, {2}}, stereo(1)},
         {garbage(2, 1), garbage(2, 1)}, {{1, .5f}, {-.5f, 1}}},
        {"a shorter input leaves later frames silent", 0, {stereo(1)}, {garbage(2, 2)},
         {{.5f, -.5f, 0, 0}}},
        {"each channel ends with its own source", 0, {BufferSpec{1, {2, 4}}, BufferSpec{1, {8}}},
         {garbage(2, 2)}, {{1, 4, 2, 0}}},
        {"the device's own inputs are skipped", 1, {BufferSpec{1, {7}}, stereo(1)},
         {garbage(2, 1)}, {{.5f, -.5f}}},
        {"inputs without data or channels are no sources", 0,
         {BufferSpec{2, {7, 7}, true}, BufferSpec{0, {7, 7}}, stereo(1)}, {garbage(2, 1)},
         {{.5f, -.5f}}},
        {"nothing usable: usable outputs are silenced", 1,
         {stereo(1), BufferSpec{2, {7, 7}, true}, BufferSpec{0, {7}}},
         {garbage(2, 1), garbage(1, 1)}, {{0, 0}, {0}}},
        {"an output without data or channels is untouched and takes no channel", 0, {stereo(1)},
         {BufferSpec{2, {9, 9}, true}, BufferSpec{0, {9}}, garbage(1, 1), garbage(1, 1)},
         {{9, 9}, {9}, {.5f}, {-.5f}}},
    };
    for (const bool wide : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (wide ? "" : ", baseline vectors"));
            TapIOBlock block(std::make_shared<Gain>(0.5f), c.skipped, 0.5f, wide);
            Buffers input(c.inputs), output(c.outputs);
            block.run(&input.list(), &output.list());
            for (std::size_t i = 0; i < c.expected.size(); ++i) {
                EXPECT_EQ(output.samples(i), c.expected[i]) << "output buffer " << i;
            }
        }
    }
    TapIOBlock block(std::make_shared<Gain>(0.25f), 0, 1.0f);
    AudioBufferList noArray{3, nullptr};
    block.run(nullptr, &noArray);
    EXPECT_EQ(block.lastGain(), 0.25f);
}

// Past the channels the block lists in its own storage, sources are found by
// walking the buffer list: output channel j still plays source j mod N.
TEST(TapIOBlock, MapsMoreInputChannelsThanItLists) {
    BufferSpec first{40, {}}, second{45, {}};
    for (int k = 0; k < 85; ++k) {
        (k < 40 ? first : second).samples.push_back(float(k));
    }
    static_assert(85 > TapIOBlock::kListedChannels);
    TapIOBlock block(std::make_shared<Gain>(1.0f), 0, 1.0f);
    Buffers input({first, second}), output({garbage(70, 1), garbage(110, 1)});
    block.run(&input.list(), &output.list());
    for (int j = 0; j < 180; ++j) {
        EXPECT_EQ(output.samples(j < 70 ? 0 : 1)[std::size_t(j < 70 ? j : j - 70)], float(j % 85));
    }
}

// Whatever the gain and the samples, the block plays finite numbers: a gain
// that is not finite plays silence, and a sample that is not finite, or whose
// product is not, plays as 0. Every layout path and both vector widths.
TEST(TapIOBlock, PlaysOnlyFiniteNumbers) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* what;
        float last, gain;
    } cases[] = {
        {"a gain that is not a number", 1.0f, nan},
        {"an infinite gain", 1.0f, inf},
        {"ramping from an infinite gain", inf, 0.5f},
        {"a finite gain whose products overflow", 1.0f, 1e38f},
    };
    const BufferSpec input{2, {nan, 1, inf, -1, -inf, 1, 3e38f, 1, 0.5f, -0.5f}};
    for (const bool wide : {true, false}) {
        for (const std::uint32_t channels : {2u, 3u, 8u}) {
            for (const auto& c : cases) {
                SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(channels) + " channels" +
                             (wide ? "" : ", baseline vectors"));
                TapIOBlock block(std::make_shared<Gain>(c.gain), 0, c.last, wide);
                Buffers in({input}), out({garbage(channels, 5)});
                for (int cycle = 0; cycle < 2; ++cycle) {
                    block.run(&in.list(), &out.list());
                    for (const float sample : out.samples(0)) {
                        ASSERT_TRUE(std::isfinite(sample)) << "cycle " << cycle;
                    }
                }
            }
        }
    }
}

// Frame f of every channel gets last + (target - last)(f + 1)/n, within float
// rounding, over the frames the input covers; the next callback plays target.
TEST(TapIOBlock, RampsFromTheLastGain) {
    const struct {
        const char* what;
        std::vector<BufferSpec> inputs;  // every sample 1, so the output is the gain
        std::uint32_t outChannels;
        std::uint32_t frames;      // of the output
        std::uint32_t rampFrames;  // those the input covers
        float last, target;
        float level = 1.0f;  // of every input sample: the output is gain * level
    } ramps[] = {
        {"stereo into stereo", {filled(2, 512, 1)}, 2, 512, 512, 1.0f, 0.5f},
        {"mono into stereo", {filled(1, 512, 1)}, 2, 512, 512, 1.0f, 0.5f},
        {"a short input ramps over its frames", {filled(2, 384, 1)}, 2, 512, 384, 1.0f, 0.5f},
        {"up from silence", {filled(1, 4096, 1)}, 1, 4096, 4096, 0.0f, 1.0f},
        {"boost", {filled(1, 1000, 0.25f)}, 1, 1000, 1000, 0.3f, 2.7f, 0.25f},
        {"a small change over many frames", {filled(1, 8192, 1)}, 1, 8192, 8192, 1.0f, 0.999f},
    };
    for (const bool wide : {true, false}) {
        for (const auto& r : ramps) {
            SCOPED_TRACE(std::string(r.what) + (wide ? "" : ", baseline vectors"));
            TapIOBlock block(std::make_shared<Gain>(r.target), 0, r.last, wide);
            Buffers input(r.inputs), output({garbage(r.outChannels, r.frames)});
            block.run(&input.list(), &output.list());

            const std::vector<float>& out = output.samples(0);
            const auto last = double{r.last}, target = double{r.target};
            const double ulp = std::max(std::fabs(last), std::fabs(target)) * double{FLT_EPSILON};
            for (std::uint32_t i = 0; i < out.size(); ++i) {
                const std::uint32_t f = i / r.outChannels;
                const double exact =
                    f < r.rampFrames ? last + (target - last) * (f + 1) / r.rampFrames : 0.0;
                ASSERT_NEAR(out[i], exact * double{r.level}, 4 * ulp) << "frame " << f;
            }
            block.run(&input.list(), &output.list());
            for (std::uint32_t i = 0; i < out.size(); ++i) {
                ASSERT_EQ(out[i], i / r.outChannels < r.rampFrames ? r.target * r.level : 0.0f)
                    << i;
            }
        }
    }
}

// A boosted signal never exceeds full scale; a loud steady one is turned down
// evenly (a sine stays a sine), quiet passages around a peak are left alone,
// and the limiter lets go once the boost ends. Cycles of 480 frames (10 ms at
// 48 kHz); the checks read the last cycle at the boost's gain.
TEST(TapIOBlock, LimitsBoostedSamplesToFullScale) {
    constexpr std::uint32_t kFrames = 480;
    const auto sine = [](float amplitude, std::uint32_t frame) {
        return amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * frame / 48000.0));
    };
    struct Case {
        const char* what;
        std::function<std::pair<float, float>(std::uint32_t)> signal;  // left, right at frame f
        float gain;
        int cycles;
        float peakAtLeast;      // of the last cycle's output
        float evenWithin;       // spread of out/in over samples above 0.05 (0: exact gain)
        float afterBoostPeak;   // 0: the boost does not end; else the peak 1 s after it
    };
    const Case cases[] = {
        {"a 0.9 sine boosted 6 dB", [&](auto f) { return std::pair{sine(0.9f, f), sine(0.9f, f)}; },
         2.0f, 20, 0.98f, 0.01f, 0.0f},
        {"a full-scale square boosted 30 dB",
         [](auto f) { return std::pair{(f / 24) % 2 ? 1.0f : -1.0f, (f / 24) % 2 ? -1.0f : 1.0f}; },
         31.6f, 5, 0.99f, 0.01f, 0.0f},
        {"a boost that stays below full scale changes nothing",
         [&](auto f) { return std::pair{sine(0.4f, f), sine(0.3f, f)}; }, 2.0f, 5, 0.79f, 0.0f,
         0.0f},
        {"one loud channel turns both down alike",
         [&](auto f) { return std::pair{sine(0.9f, f), sine(0.1f, f)}; }, 2.0f, 20, 0.98f, 0.01f,
         0.0f},
        {"the limiter lets go when the boost ends",
         [&](auto f) { return std::pair{sine(0.9f, f), sine(0.9f, f)}; }, 2.0f, 20, 0.98f, 0.01f,
         0.89f},
    };
    for (const bool wide : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (wide ? "" : ", baseline vectors"));
            auto gain = std::make_shared<Gain>(c.gain);
            TapIOBlock block(gain, 0, c.gain, wide);
            std::uint32_t frame = 0;
            BufferSpec in{2, std::vector<float>(2 * kFrames)};
            const auto cycle = [&]() {
                for (std::uint32_t f = 0; f < kFrames; ++f, ++frame) {
                    std::tie(in.samples[2 * f], in.samples[2 * f + 1]) = c.signal(frame);
                }
                Buffers input({in}), output({garbage(2, kFrames)});
                block.run(&input.list(), &output.list());
                return output.samples(0);
            };
            std::vector<float> out;
            for (int i = 0; i < c.cycles; ++i) {
                out = cycle();
                for (const float sample : out) {
                    ASSERT_LE(std::fabs(sample), 1.0f) << "cycle " << i;
                }
            }
            float peak = 0, lowest = INFINITY, highest = 0;
            for (std::size_t i = 0; i < out.size(); ++i) {
                peak = std::max(peak, std::fabs(out[i]));
                if (std::fabs(in.samples[i]) > 0.05f) {
                    const float ratio = out[i] / in.samples[i];
                    lowest = std::min(lowest, ratio);
                    highest = std::max(highest, ratio);
                }
            }
            EXPECT_GE(peak, c.peakAtLeast);
            if (c.evenWithin == 0.0f) {
                EXPECT_EQ(lowest, c.gain);
                EXPECT_EQ(highest, c.gain);
            } else {
                EXPECT_LE(highest / lowest - 1.0f, c.evenWithin);
            }
            if (c.afterBoostPeak > 0.0f) {
                gain->setValue(1.0f);
                for (int i = 0; i < 100; ++i) {
                    out = cycle();
                }
                EXPECT_NEAR(*std::ranges::max_element(out), c.afterBoostPeak, 0.01f);
            }
        }
    }
}

}  // namespace
}  // namespace morvale
