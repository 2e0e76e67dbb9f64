// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
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
    } ramps[] = {
        {"stereo into stereo", {filled(2, 512, 1)}, 2, 512, 512, 1.0f, 0.5f},
        {"mono into stereo", {filled(1, 512, 1)}, 2, 512, 512, 1.0f, 0.5f},
        {"a short input ramps over its frames", {filled(2, 384, 1)}, 2, 512, 384, 1.0f, 0.5f},
        {"up from silence", {filled(1, 4096, 1)}, 1, 4096, 4096, 0.0f, 1.0f},
        {"boost", {filled(1, 1000, 1)}, 1, 1000, 1000, 0.3f, 2.7f},
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
                ASSERT_NEAR(out[i], exact, 4 * ulp) << "frame " << f;
            }
            block.run(&input.list(), &output.list());
            for (std::uint32_t i = 0; i < out.size(); ++i) {
                ASSERT_EQ(out[i], i / r.outChannels < r.rampFrames ? r.target : 0.0f) << i;
            }
        }
    }
}

}  // namespace
}  // namespace morvale
