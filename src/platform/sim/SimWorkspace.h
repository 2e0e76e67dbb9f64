// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>

#include "platform/Workspace.h"

namespace morvale::sim {

// Installed applications as a test or demo sets them up. Counts its lookups so
// that tests can check which ones were made.
class SimWorkspace final : public Workspace {
public:
    std::map<std::string, std::string> applicationPaths;  // bundle id -> path
    std::map<std::string, std::string> displayNames;      // path -> name (default: last path part)
    mutable int urlLookups = 0;
    mutable int iconLookups = 0;
    std::uint64_t changes = 0;  // a test that installs or renames moves it on

    std::optional<std::string> urlForApplication(const std::string& bundleID) const override {
        ++urlLookups;
        const auto it = applicationPaths.find(bundleID);
        if (it == applicationPaths.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    std::string displayNameAtPath(const std::string& path) const override {
        const auto it = displayNames.find(path);
        if (it != displayNames.end()) {
            return it->second;
        }
        const auto slash = path.find_last_of('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }

    Icon iconForFile(const std::string& path) const override {
        ++iconLookups;
        return makeIcon(IconSource::Kind::file, path);
    }

    std::uint64_t generation() const override { return changes; }

    Icon genericApplicationIcon() const override {
        ++iconLookups;
        return makeIcon(IconSource::Kind::genericApplication);
    }
};

}  // namespace morvale::sim
