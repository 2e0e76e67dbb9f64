// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <charconv>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Names this program gives to what it makes on the sound server. Private to
// the libpulse backend.

namespace morvale::pulse {

// Property keys this program puts on what it makes, so that it (and its
// watchdog, and other instances) can tell its own clients, streams and sinks.
inline constexpr const char* kClientKey = "morvale.client";
inline constexpr const char* kStreamKey = "morvale.stream";
inline constexpr const char* kTapKey = "morvale.tap";
inline constexpr const char* kOwnerPidKey = "morvale.owner.pid";
inline constexpr const char* kOwnerStartKey = "morvale.owner.start";
inline constexpr const char* kRestoreIdKey = "module-stream-restore.id";
// Our streams' restore keys ("morvale-replay", ...) start with this. The
// server's stream restore is to remember no volume or mute under them.
inline constexpr std::string_view kOwnRestorePrefix = "morvale-";
inline constexpr const char* kSecurePidKey = "pipewire.sec.pid";
inline constexpr const char* kPortalAppIdKey = "pipewire.access.portal.app_id";
// PipeWire names the period a stream asks for here: "1920/48000".
inline constexpr const char* kNodeLatencyKey = "node.latency";
// The media role of a voice call's streams.
inline constexpr std::string_view kCallRole = "phone";
// The media role of the replays of taps: one that role-based policies leave
// alone by default, and that marks the replay as a mix being re-rendered.
inline constexpr const char* kReplayRole = "production";
// kStreamKey's value on call mirrors (see CallMirrors.h).
inline constexpr std::string_view kMirrorStream = "call-mirror";
// Every tap sink's name starts with this; the rest makes it unique.
inline constexpr const char* kTapSinkPrefix = "morvale_tap_";

// A name as it can go into a quoted property value of a module's arguments
// (a tap sink's description): quotes, backslashes and control characters
// would end the quoting or the argument and are left out, and it is cut
// (on a character's first byte) to a length that lists show whole.
inline std::string moduleArgumentText(std::string_view name) {
    constexpr std::size_t kMaxBytes = 80;
    std::string text;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'' || c == '"' || c == '\\' || byte < 0x20 || byte == 0x7F) {
            continue;
        }
        if (text.size() >= kMaxBytes && (byte & 0xC0) != 0x80) {
            break;
        }
        text += c;
    }
    return text;
}

// The name of a replay (and, with " (volume)", of its capture) for the
// aggregate device it plays: the application's part of "Morvale: <name>".
inline std::string streamNameOf(std::string_view deviceName) {
    constexpr std::string_view kPrefix = "Morvale: ";
    if (deviceName.starts_with(kPrefix) && deviceName.size() > kPrefix.size()) {
        deviceName.remove_prefix(kPrefix.size());
    }
    return deviceName.empty() ? std::string("Morvale") : std::string(deviceName);
}

// PipeWire's PulseAudio server calls itself "PulseAudio (on PipeWire 1.0.5)";
// PulseAudio itself says "pulseaudio". Some workarounds for one server harm
// the other.
inline bool servedByPipeWire(std::string_view serverName) {
    return serverName.find("on PipeWire") != std::string_view::npos;
}

// The period in a "frames/rate" text such as PipeWire's node.latency; absent
// for anything else. The text comes from another client: read strictly.
inline std::optional<std::chrono::microseconds> periodOf(std::string_view text) {
    std::uint32_t frames = 0;
    std::uint32_t rate = 0;
    const char* end = text.data() + text.size();
    const auto first = std::from_chars(text.data(), end, frames);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != '/') {
        return std::nullopt;
    }
    const auto second = std::from_chars(first.ptr + 1, end, rate);
    if (second.ec != std::errc() || second.ptr != end || rate == 0) {
        return std::nullopt;
    }
    return std::chrono::microseconds(std::uint64_t{frames} * 1'000'000 / rate);
}

}  // namespace morvale::pulse
