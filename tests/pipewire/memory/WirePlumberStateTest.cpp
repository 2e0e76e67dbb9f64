// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/pipewire/memory/WirePlumberState.h"

namespace morvale::pipewire {
namespace {

TEST(WirePlumberState, ReadsTheVolumesOf04sRestoreStream) {
    // As WirePlumber 0.4.13 wrote it after two streams were set to 0.3.
    const auto stored = parseRestoreStream(
        "[restore-stream]\n"
        "Audio/Sink:node.name:speakers:volume=1.0\n"
        "Output/Audio:application.name:paplay:channelMap=FL;FR;\n"
        "Output/Audio:application.name:paplay:channelVolumes=1.0;1.0;\n"
        "Output/Audio:application.name:paplay:mute=false\n"
        "Output/Audio:application.name:paplay:volume=0.30000001192093\n"
        "Output/Audio:media.role:Music:volume=1.0\n"
        "Output/Audio:media.name:a\\sb\\ec\\o1\\c\\\\:volume=0.5\n");
    EXPECT_TRUE(stored.problems.empty());
    EXPECT_EQ(stored.volumes.size(), 4u);
    EXPECT_NEAR(stored.volumes.at("Output/Audio:application.name:paplay"), 0.3, 1e-6);
    EXPECT_TRUE(isFullVolume(stored.volumes.at("Output/Audio:media.role:Music")));
    EXPECT_EQ(stored.volumes.count("Output/Audio:media.name:a b=c[1]\\"), 1u);
}

TEST(WirePlumberState, ReadsTheVolumesOf05sStreamProperties) {
    const auto stored = parseStreamProperties(
        "[stream-properties]\n"
        "Output/Audio:application.name:paplay={\"volume\":0.300000, \"mute\":false, "
        "\"channelVolumes\":[1.0, 1.0], \"channelMap\":[\"FL\", \"FR\"]}\n"
        "Output/Audio:media.role:Music={\"mute\":false, \"volume\": 1.000000}\n"
        "Input/Audio:application.name:rec={\"mute\":false}\n");
    EXPECT_TRUE(stored.problems.empty());
    EXPECT_EQ(stored.volumes.size(), 2u);
    EXPECT_NEAR(stored.volumes.at("Output/Audio:application.name:paplay"), 0.3, 1e-6);
    EXPECT_TRUE(isFullVolume(stored.volumes.at("Output/Audio:media.role:Music")));
    EXPECT_FALSE(stored.streams.at("Input/Audio:application.name:rec").volume.has_value());
}

// The application's own values, which a reset must save back unchanged.
TEST(WirePlumberState, ReadsTheApplicationsOwnValuesInBothFormats) {
    const auto old = parseRestoreStream(
        "[restore-stream]\n"
        "Output/Audio:application.name:paplay:channelMap=FL;FR;\n"
        "Output/Audio:application.name:paplay:channelVolumes=0.125;0.5;\n"
        "Output/Audio:application.name:paplay:mute=true\n"
        "Output/Audio:application.name:paplay:volume=0.3\n");
    const auto json = parseStreamProperties(
        "[stream-properties]\n"
        "Output/Audio:application.name:paplay={\"channelMap\":[\"FL\", \"FR\"], "
        "\"channelVolumes\":[0.125000, 0.500000], \"volume\":0.300000, \"mute\":true}\n");
    for (const auto* stored : {&old, &json}) {
        const StoredStream& stream = stored->streams.at("Output/Audio:application.name:paplay");
        EXPECT_EQ(stream.mute, true);
        EXPECT_EQ(stream.channelVolumes, (std::vector<float>{0.125f, 0.5f}));
        EXPECT_EQ(stream.channelMap, (std::vector<std::string>{"FL", "FR"}));
        ASSERT_TRUE(stream.volume.has_value());
        EXPECT_NEAR(*stream.volume, 0.3, 1e-6);
    }
}

TEST(DamagedState, NeverCrashesAndSaysWhatMadeNoSense) {
    std::string manyBadLines;
    for (int i = 0; i < 5000; ++i) {
        manyBadLines += "x\n";
    }
    const struct {
        const char* what;
        std::string text;
        std::size_t volumes;
        std::size_t problems;
    } cases[] = {
        {"another group only", "[other]\nK:volume=0.3\n", 0, 0},
        {"entries before any group", "K:volume=0.3\n[restore-stream]\n", 0, 0},
        {"volume not a number", "[restore-stream]\nK:volume=loud\nL:volume=0.2\n", 1, 1},
        {"infinite volume", "[restore-stream]\nK:volume=inf\n", 0, 1},
        {"line without '='", "[restore-stream]\ngarbage\n", 0, 1},
        {"comments and CRLF", "# c\r\n[restore-stream]\r\nK:volume=0.3\r\n", 1, 0},
        {"a trailing backslash", "[restore-stream]\nK:volume\\=0.3\n", 0, 0},
        {"torn last line", "[restore-stream]\nK:volume=0.3\nL:vol", 1, 1},
        {"thousands of bad lines report a few", "[restore-stream]\n" + manyBadLines, 0, 20},
    };
    for (const auto& c : cases) {
        const auto stored = parseRestoreStream(c.text);
        EXPECT_EQ(stored.volumes.size(), c.volumes) << c.what;
        EXPECT_EQ(stored.problems.size(), c.problems) << c.what;
    }
}

TEST(WirePlumberState, FullVolumeAllowsForFloatRounding) {
    EXPECT_TRUE(isFullVolume(1.0));
    EXPECT_TRUE(isFullVolume(0.99999999));
    EXPECT_FALSE(isFullVolume(0.999));
    EXPECT_FALSE(isFullVolume(1.01));
}

}  // namespace
}  // namespace morvale::pipewire
