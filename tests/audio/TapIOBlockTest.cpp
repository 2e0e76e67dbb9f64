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

// Frames of `channels` channels holding `values` over and over.
BufferSpec repeating(std::uint32_t channels, std::uint32_t frames,
                     const std::vector<float>& values) {
    BufferSpec layout{channels, {}};
    for (std::size_t i = 0; i < std::size_t{channels} * frames; ++i) {
        layout.samples.push_back(values[i % values.size()]);
    }
    return layout;
}

// What output buffers hold before a cycle.
BufferSpec garbage(std::uint32_t channels, std::uint32_t frames) {
    return filled(channels, frames, 9.0f);
}

// The channel counts of the layouts a backend hands over (one interleaved
// buffer each way, as wide as the tap sink): those with a loop of their own,
// and 3 for the general one. Every case runs with the widest vectors the
// processor has and without them.
constexpr std::uint32_t kWidths[] = {1, 2, 3, 4, 6, 8};

// A steady gain of 0.5 scales exactly: each sample, all of them distinct,
// plays at half its value in its own place.
TEST(TapIOBlock, ScalesEverySampleInItsPlace) {
    for (const bool wide : {true, false}) {
        for (const std::uint32_t channels : kWidths) {
            SCOPED_TRACE(std::to_string(channels) + " channels" +
                         (wide ? "" : ", baseline vectors"));
            BufferSpec source{channels, {}};
            for (std::uint32_t i = 1; i <= 3 * channels; ++i) {
                source.samples.push_back(i % 2 ? float(i) : -float(i));
            }
            TapIOBlock block(std::make_shared<Gain>(0.5f), 0, 0.5f, wide);
            Buffers input({source}), output({garbage(channels, 3)});
            block.run(&input.list(), &output.list());
            for (std::size_t i = 0; i < source.samples.size(); ++i) {
                ASSERT_EQ(output.samples(0)[i], source.samples[i] / 2) << "sample " << i;
            }
        }
    }
}

// Whatever the gain and the samples, the block plays finite numbers: a gain
// that is not finite plays silence, and a sample that is not finite, or whose
// product is not, plays as 0.
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
    for (const bool wide : {true, false}) {
        for (const std::uint32_t channels : kWidths) {
            const BufferSpec input =
                repeating(channels, 5, {nan, 1, inf, -1, -inf, 1, 3e38f, 1, 0.5f, -0.5f});
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
// rounding; the next callback plays target.
TEST(TapIOBlock, RampsFromTheLastGain) {
    const struct {
        const char* what;
        std::uint32_t channels, frames;
        float last, target;
        float level = 1.0f;  // of every input sample: the output is gain * level
    } ramps[] = {
        {"stereo", 2, 512, 1.0f, 0.5f},
        {"six channels", 6, 512, 1.0f, 0.5f},
        {"three channels", 3, 512, 0.5f, 1.0f},
        {"up from silence", 1, 4096, 0.0f, 1.0f},
        {"boost", 1, 1000, 0.3f, 2.7f, 0.25f},
        {"a small change over many frames", 1, 8192, 1.0f, 0.999f},
    };
    for (const bool wide : {true, false}) {
        for (const auto& r : ramps) {
            SCOPED_TRACE(std::string(r.what) + (wide ? "" : ", baseline vectors"));
            TapIOBlock block(std::make_shared<Gain>(r.target), 0, r.last, wide);
            Buffers input({filled(r.channels, r.frames, r.level)});
            Buffers output({garbage(r.channels, r.frames)});
            block.run(&input.list(), &output.list());

            const std::vector<float>& out = output.samples(0);
            const auto last = double{r.last}, target = double{r.target};
            const double ulp = std::max(std::fabs(last), std::fabs(target)) * double{FLT_EPSILON};
            for (std::uint32_t i = 0; i < out.size(); ++i) {
                const std::uint32_t f = i / r.channels;
                const double exact = last + (target - last) * (f + 1) / r.frames;
                ASSERT_NEAR(out[i], exact * double{r.level}, 4 * ulp) << "frame " << f;
            }
            block.run(&input.list(), &output.list());
            for (const float sample : out) {
                ASSERT_EQ(sample, r.target * r.level);
            }
        }
    }
}

// A boosted signal never exceeds full scale; a loud steady one is turned down
// evenly (a sine stays a sine), quiet passages around a peak are left alone,
// and the limiter lets go once the boost ends. Cycles of 480 frames (10 ms at
// 48 kHz); the checks read the last cycle at the boost's gain. (The limiter
// is one loop whatever vectors scaled the samples before it.)
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
        {"a full-scale square boosted 30 dB",
         [](auto f) { return std::pair{(f / 24) % 2 ? 1.0f : -1.0f, (f / 24) % 2 ? -1.0f : 1.0f}; },
         31.6f, 5, 0.99f, 0.01f, 0.0f},
        {"a boost that stays below full scale changes nothing",
         [&](auto f) { return std::pair{sine(0.4f, f), sine(0.3f, f)}; }, 2.0f, 5, 0.79f, 0.0f,
         0.0f},
        {"one loud channel turns both down alike",
         [&](auto f) { return std::pair{sine(0.9f, f), sine(0.1f, f)}; }, 2.0f, 20, 0.98f, 0.01f,
         0.0f},
        {"a 0.9 sine boosted 6 dB, and the limiter lets go when the boost ends",
         [&](auto f) { return std::pair{sine(0.9f, f), sine(0.9f, f)}; }, 2.0f, 20, 0.98f, 0.01f,
         0.89f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto gain = std::make_shared<Gain>(c.gain);
        TapIOBlock block(gain, 0, c.gain);
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

}  // namespace
}  // namespace morvale
