// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvale::LinuxDesktop {

// What an audio client or a process tells about itself, as far as it helps to
// find the desktop application it belongs to.
struct ClientHints {
    std::int32_t pid = 0;                       // a host pid; 0 when not trustworthy
    std::optional<std::string> portalAppId;     // the sandbox's app id (Flatpak, Snap)
    std::optional<std::string> applicationId;   // what the client calls itself
    std::optional<std::string> binary;          // the client's executable name
    std::optional<std::string> applicationName; // what the client calls itself in words
};

// The name a client declares for itself, when it declares one of its own: its
// application name where that is not just its program's ("paplay
// --client-name=Tunebox" declares "Tunebox", plain paplay nothing), else its
// application id. Invalid UTF-8 is replaced by U+FFFD. So that programs on
// one runtime (java, python3, a Wine loader) are told apart.
std::optional<std::string> declaredName(const ClientHints& hints);

// Finds the XDG desktop file ID ("firefox-esr.desktop") of the application a
// client belongs to, so that every helper process of one application gets the
// same identifier. The ID always contains a dot.
class AppIdentifier {
public:
    virtual ~AppIdentifier() = default;

    // Absent when nothing matches. Must be cheap when called again for the
    // same pid (the answer may be cached per pid and start time).
    virtual std::optional<std::string> desktopId(const ClientHints& hints) const = 0;
};

}  // namespace morvale::LinuxDesktop
