// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/XdgDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace morvale::LinuxDesktop {

namespace {

std::filesystem::path homeFolder(const XdgDirs::Lookup& lookup) {
    if (const char* home = lookup("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    // No usable HOME (a service started without one): ask the user database.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

// The base directory rules: a variable that is unset, empty or not absolute
// counts as unset.
std::filesystem::path single(const XdgDirs::Lookup& lookup, const char* name,
                             const std::filesystem::path& fallback) {
    const char* value = lookup(name);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    return fallback;
}

std::vector<std::filesystem::path> list(const XdgDirs::Lookup& lookup, const char* name,
                                        std::string_view fallback) {
    const char* value = lookup(name);
    std::string_view text = value != nullptr && value[0] != '\0' ? value : fallback;
    std::vector<std::filesystem::path> folders;
    while (!text.empty()) {
        const auto colon = text.find(':');
        const std::string_view item = text.substr(0, colon);
        if (!item.empty() && item.front() == '/') {
            folders.emplace_back(item);
        }
        text = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    }
    return folders;
}

}  // namespace

std::vector<std::filesystem::path> XdgDirs::applicationFolders() const {
    std::vector<std::filesystem::path> folders;
    if (!dataHome.empty()) {
        folders.push_back(dataHome / "applications");
    }
    for (const auto& dir : dataDirs) {
        folders.push_back(dir / "applications");
    }
    return folders;
}

XdgDirs XdgDirs::fromLookup(const Lookup& lookup) {
    const std::filesystem::path home = homeFolder(lookup);
    XdgDirs dirs;
    dirs.configHome = single(lookup, "XDG_CONFIG_HOME", home.empty() ? home : home / ".config");
    dirs.dataHome = single(lookup, "XDG_DATA_HOME", home.empty() ? home : home / ".local/share");
    dirs.configDirs = list(lookup, "XDG_CONFIG_DIRS", "/etc/xdg");
    dirs.dataDirs = list(lookup, "XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    return dirs;
}

XdgDirs XdgDirs::fromEnvironment() {
    return fromLookup([](const char* name) { return std::getenv(name); });
}

}  // namespace morvale::LinuxDesktop
