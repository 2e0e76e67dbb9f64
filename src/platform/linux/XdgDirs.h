// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace morvale::LinuxDesktop {

// The user's XDG base folders. Tests build one by hand; the program reads them
// from the environment.
struct XdgDirs {
    std::filesystem::path configHome;               // ~/.config
    std::vector<std::filesystem::path> configDirs;  // /etc/xdg
    std::filesystem::path dataHome;                 // ~/.local/share
    std::vector<std::filesystem::path> dataDirs;    // /usr/local/share, /usr/share

    // The folders of installed applications' desktop entries, most important first.
    std::vector<std::filesystem::path> applicationFolders() const;

    static XdgDirs fromEnvironment();

    // Reads the variables through lookup (null for an unset variable).
    using Lookup = std::function<const char*(const char*)>;
    static XdgDirs fromLookup(const Lookup& lookup);
};

}  // namespace morvale::LinuxDesktop
