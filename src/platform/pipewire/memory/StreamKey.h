// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace morvale::pipewire {

// A node's properties as the registry or the node's info reports them.
using NodeProperties = std::map<std::string, std::string, std::less<>>;

// The entry of WirePlumber's stream memory that a stream node's volume is
// saved under, and the properties that make WirePlumber pick that entry, so
// that a node made with them is restored from it and saved into it.
struct StreamKey {
    std::string text;  // "Output/Audio:media.role:Music"
    // media.class and each property WirePlumber may name a key by (media.role,
    // application.id, application.name, media.name, node.name) that the node has.
    NodeProperties properties;
    friend bool operator==(const StreamKey&, const StreamKey&) = default;
};

struct WirePlumberVersion {
    int major = 0;
    int minor = 4;
    int micro = 0;
    friend auto operator<=>(const WirePlumberVersion&, const WirePlumberVersion&) = default;
};

// The key WirePlumber of that version saves the node's stream properties
// under; absent when it saves none for it (not a stream, or nothing to name
// it by).
std::optional<StreamKey> streamKey(const NodeProperties& node, const WirePlumberVersion& version);

// The version of the libwireplumber that a process has mapped, from the text
// of its /proc/<pid>/maps ("…/libwireplumber-0.4.so.0.4.13").
std::optional<WirePlumberVersion> wirePlumberVersionFromMaps(std::string_view maps);
// The same for a running process (the session manager's client carries its
// pid in pipewire.sec.pid); absent when its maps cannot be read.
std::optional<WirePlumberVersion> wirePlumberVersionOfProcess(pid_t pid);

}  // namespace morvale::pipewire
