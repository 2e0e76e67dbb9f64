// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/pipewire/memory/StreamKey.h"

namespace morvale::pipewire {
namespace {

const WirePlumberVersion v04{0, 4, 13};

// Property sets as the registry reported them for real streams (PipeWire
// 0.3.65), trimmed to what could matter.
TEST(StreamKeyOn04, NamesTheEntryWirePlumberSavesUnder) {
    const struct {
        const char* what;
        NodeProperties node;
        std::optional<std::string> key;
    } cases[] = {
        {"paplay through the pulse server: no role, so its name",
         {{"media.class", "Stream/Output/Audio"},
          {"application.name", "paplay"},
          {"application.process.binary", "pacat"},
          {"media.name", "/tmp/sine.wav"},
          {"node.name", "paplay"}},
         "Output/Audio:application.name:paplay"},
        {"pw-play with a role: the role wins over the name",
         {{"media.class", "Stream/Output/Audio"},
          {"application.name", "pw-play"},
          {"media.role", "Music"},
          {"media.name", "/tmp/sine.wav"},
          {"node.name", "pw-play"}},
         "Output/Audio:media.role:Music"},
        {"a call through the pulse server (role phone arrives as Communication)",
         {{"media.class", "Stream/Output/Audio"},
          {"application.name", "Talk"},
          {"media.role", "Communication"}},
         "Output/Audio:media.role:Communication"},
        {"a Flatpak's application id before its name",
         {{"media.class", "Stream/Output/Audio"},
          {"application.id", "org.example.Player"},
          {"application.name", "Player"}},
         "Output/Audio:application.id:org.example.Player"},
        {"ALSA's plugin: no role, its application name",
         {{"media.class", "Stream/Output/Audio"},
          {"application.name", "PipeWire ALSA [aplay]"},
          {"node.name", "ALSA Playback"}},
         "Output/Audio:application.name:PipeWire ALSA [aplay]"},
        {"only a media name",
         {{"media.class", "Stream/Output/Audio"}, {"media.name", "Song: a=b"}},
         "Output/Audio:media.name:Song: a=b"},
        {"only a node name",
         {{"media.class", "Stream/Output/Audio"}, {"node.name", "bare"}},
         "Output/Audio:node.name:bare"},
        {"a capture stream",
         {{"media.class", "Stream/Input/Audio"}, {"application.name", "rec"}},
         "Input/Audio:application.name:rec"},
        {"an empty role still counts (Lua takes \"\" as present)",
         {{"media.class", "Stream/Output/Audio"}, {"media.role", ""}, {"application.name", "x"}},
         "Output/Audio:media.role:"},
        {"a sink is no stream",
         {{"media.class", "Audio/Sink"}, {"node.name", "speakers"}},
         std::nullopt},
        {"a JACK client has no class",
         {{"media.role", "DSP"}, {"node.name", "jack"}},
         std::nullopt},
        {"nothing to name it by", {{"media.class", "Stream/Output/Audio"}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto key = streamKey(c.node, v04);
        ASSERT_EQ(key.has_value(), c.key.has_value());
        if (key) {
            EXPECT_EQ(key->text, *c.key);
            // A node made with only the key's properties gets the same key,
            // and so it does with a WirePlumber that prefers another of them:
            // every naming property is carried, and nothing else of the
            // node's (pids, formats).
            const auto again = streamKey(key->properties, v04);
            ASSERT_TRUE(again.has_value());
            EXPECT_EQ(again->text, key->text);
            const std::set<std::string> naming{"media.class",      "media.role", "application.id",
                                               "application.name", "media.name", "node.name"};
            for (const auto& [name, value] : c.node) {
                EXPECT_EQ(key->properties.contains(name), naming.contains(name)) << name;
            }
        }
    }
}

TEST(WirePlumberVersionFromMaps, ReadsTheLibraryFileName) {
    const struct {
        const char* maps;
        std::optional<WirePlumberVersion> version;
    } cases[] = {
        {"7f2 r-xp 0 08:01 12 /usr/lib/x86_64-linux-gnu/libwireplumber-0.4.so.0.4.13\n",
         WirePlumberVersion{0, 4, 13}},
        {"7f1 r--p 0 08:01 11 /usr/lib/x86_64-linux-gnu/wireplumber-0.5/"
         "libwireplumber-module-lua-scripting.so\n"
         "7f2 r-xp 0 08:01 12 /usr/lib/x86_64-linux-gnu/libwireplumber-0.5.so.0.508.0\n",
         WirePlumberVersion{0, 5, 8}},
        {"7f2 r-xp 0 08:01 12 /usr/lib/libwireplumber-0.5.so.0.515.0\n",
         WirePlumberVersion{0, 5, 15}},
        {"7f2 r-xp 0 08:01 12 /usr/lib/libwireplumber-0.4.so\n", std::nullopt},
        {"7f2 r-xp 0 08:01 12 /usr/lib/libwireplumber-0.4.so.0.x.1\n", std::nullopt},
        {"7f2 r-xp 0 08:01 12 /usr/lib/libpipewire-0.3.so.0.365.0\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wirePlumberVersionFromMaps(c.maps), c.version) << c.maps;
    }
}

}  // namespace
}  // namespace morvale::pipewire
