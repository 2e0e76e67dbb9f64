// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/memory/StreamKey.h"

#include <array>
#include <charconv>
#include <string>

#include "platform/linux/FileIo.h"

namespace morvale::pipewire {

namespace {

// The properties WirePlumber names a stream's memory by, the first present
// one winning, as its restore-stream script orders them.
constexpr std::array<std::string_view, 5> kKeyProperties04{
    "media.role", "application.id", "application.name", "media.name", "node.name"};

std::optional<int> parseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<StreamKey> streamKey(const NodeProperties& node, const WirePlumberVersion& version) {
    // 0.4.13 (restore-stream.lua) and 0.5.8 (node/state-stream.lua) form the
    // key alike; later versions are taken to do the same until one is seen
    // to differ.
    (void)version;
    const auto mediaClass = node.find("media.class");
    if (mediaClass == node.end() || !mediaClass->second.starts_with("Stream/")) {
        return std::nullopt;
    }
    const std::string_view kind = std::string_view(mediaClass->second).substr(7);
    for (const std::string_view name : kKeyProperties04) {
        const auto found = node.find(name);
        // Lua's `if p then` takes an empty string as present too.
        if (found == node.end()) {
            continue;
        }
        StreamKey key;
        key.text = std::string(kind) + ":" + std::string(name) + ":" + found->second;
        // Every naming property the node has, not only the winning one: a node
        // made with them is keyed like this one whichever of them a
        // WirePlumber version prefers.
        key.properties.emplace(mediaClass->first, mediaClass->second);
        for (const std::string_view other : kKeyProperties04) {
            if (const auto value = node.find(other); value != node.end()) {
                key.properties.emplace(value->first, value->second);
            }
        }
        return key;
    }
    return std::nullopt;
}

std::optional<WirePlumberVersion> wirePlumberVersionFromMaps(std::string_view maps) {
    constexpr std::string_view marker = "/libwireplumber-";
    for (std::size_t at = maps.find(marker); at != std::string_view::npos;
         at = maps.find(marker, at + 1)) {
        // "/libwireplumber-0.4.so.0.4.13": the numbers after ".so." carry the
        // full version; the name's own "0.4" is only the API.
        std::string_view rest = maps.substr(at + marker.size());
        rest = rest.substr(0, rest.find_first_of(" \n"));
        const std::size_t so = rest.find(".so.");
        if (so == std::string_view::npos) {
            continue;
        }
        std::string_view numbers = rest.substr(so + 4);
        std::array<int, 3> parts{};
        bool ok = true;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::size_t dot = numbers.find('.');
            const auto value = parseNumber(numbers.substr(0, dot));
            if (!value || (dot == std::string_view::npos && i + 1 < parts.size())) {
                ok = false;
                break;
            }
            parts[i] = *value;
            numbers = dot == std::string_view::npos ? std::string_view{} : numbers.substr(dot + 1);
        }
        if (ok) {
            // 0.4 names its file by the version ("0.4.13"); 0.5 by its
            // library version, minor and micro in one ("0.508.0" is 0.5.8).
            if (parts[1] >= 100) {
                return WirePlumberVersion{parts[0], parts[1] / 100, parts[1] % 100};
            }
            return WirePlumberVersion{parts[0], parts[1], parts[2]};
        }
    }
    return std::nullopt;
}

std::optional<WirePlumberVersion> wirePlumberVersionOfProcess(pid_t pid) {
    const auto maps =
        LinuxDesktop::readWholeFile("/proc/" + std::to_string(pid) + "/maps", 16 * 1024 * 1024);
    if (maps.error != 0) {
        return std::nullopt;
    }
    return wirePlumberVersionFromMaps(maps.text);
}

}  // namespace morvale::pipewire
