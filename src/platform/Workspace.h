// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Icon.h"

namespace morvale {

// The desktop's knowledge of installed applications and files.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Where the application with this bundle identifier is installed (a path), or
    // absent when no such application is known.
    virtual std::optional<std::string> urlForApplication(const std::string& bundleID) const = 0;

    // The name a user sees for the file or application at path.
    virtual std::string displayNameAtPath(const std::string& path) const = 0;

    // The picture for the file or application at path; never null.
    virtual Icon iconForFile(const std::string& path) const = 0;

    // The generic application picture; never null.
    virtual Icon genericApplicationIcon() const = 0;

    // Moves on whenever what is known of installed applications may have
    // changed (one installed, removed or renamed): names and icons learnt
    // before are worked out again.
    virtual std::uint64_t generation() const { return 0; }
};

}  // namespace morvale
