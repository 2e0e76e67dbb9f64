// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DesktopWorkspace.h"

#include <array>

namespace morvale::LinuxDesktop {

DesktopWorkspace::DesktopWorkspace(const DesktopEntryIndex& index)
    : index_(index), generic_(makeIcon(IconSource::Kind::genericApplication)) {}

std::optional<std::string> DesktopWorkspace::urlForApplication(const std::string& desktopId) const {
    const auto entries = index_.entries();
    if (const DesktopEntry* entry = entries->byId(desktopId)) {
        return entry->path;
    }
    return std::nullopt;
}

std::string DesktopWorkspace::displayNameAtPath(const std::string& path) const {
    const auto entries = index_.entries();
    if (const DesktopEntry* entry = entries->byPath(path); entry && !entry->name.empty()) {
        return entry->name;
    }
    std::string_view name = path;
    while (name.size() > 1 && name.ends_with('/')) {
        name.remove_suffix(1);
    }
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos && name.size() > 1) {
        name.remove_prefix(slash + 1);
    }
    // "foo.desktop" -> "foo", but a leading dot is part of the name.
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

Icon DesktopWorkspace::iconForFile(const std::string& path) const {
    const auto entries = index_.entries();
    const DesktopEntry* entry = entries->byPath(path);
    if (entry == nullptr) {
        return generic_;
    }
    IconSource source = iconSourceFor(entry->icon);
    if (source.kind == IconSource::Kind::genericApplication) {
        return generic_;
    }
    return makeIcon(source.kind, std::move(source.location));
}

IconSource iconSourceFor(std::string_view value) {
    if (value.empty()) {
        return {};
    }
    if (value.front() == '/') {
        return {IconSource::Kind::file, std::string(value)};
    }
    if (value.find('/') != std::string_view::npos) {
        return {};
    }
    static constexpr std::array<std::string_view, 4> kImageExtensions = {".png", ".svg", ".svgz",
                                                                         ".xpm"};
    for (const auto extension : kImageExtensions) {
        if (value.size() > extension.size() && value.ends_with(extension)) {
            value.remove_suffix(extension.size());
            break;
        }
    }
    return {IconSource::Kind::themeName, std::string(value)};
}

std::uint64_t DesktopWorkspace::generation() const {
    index_.entries();  // looks whether a folder changed, at most every few seconds
    return index_.builds();
}

}  // namespace morvale::LinuxDesktop
