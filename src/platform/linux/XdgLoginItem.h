// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/LoginItem.h"
#include "platform/linux/XdgDirs.h"

namespace morvale::LinuxDesktop {

// What the autostart entry says.
struct AutostartEntry {
    std::string appId;                 // "io.github.morvale.Morvale": file name and icon
    std::string name;                  // shown in the desktop's startup settings
    std::vector<std::string> command;  // the installed program and its arguments
};

// Opening at login through the XDG autostart convention: a desktop entry
// <configHome>/autostart/<appId>.desktop that the session starts at login.
//
// The status is enabled while the most important autostart entry of that name
// (the user's own, else one in the system's configDirs) exists and is neither
// Hidden=true nor X-GNOME-Autostart-enabled=false.
class XdgLoginItem final : public LoginItemService {
public:
    explicit XdgLoginItem(AutostartEntry entry, XdgDirs dirs = XdgDirs::fromEnvironment());

    LoginItemStatus status() const override;

    // Writes the user's entry (replacing any, such as a disabled one).
    std::optional<std::string> registerItem() override;

    // Removes the user's entry. When a system-wide entry would still start the
    // program, writes a Hidden=true entry in its place, as the convention asks.
    std::optional<std::string> unregisterItem() override;

    std::filesystem::path userEntryPath() const;

    // The entry's text, for the program and its arguments quoted as desktop
    // entries require. Absent when the entry cannot be written safely (an
    // app id that is not a plain file name, control characters).
    std::optional<std::string> entryText() const;

private:
    // The most important existing entry with this name, if any.
    std::optional<std::filesystem::path> effectiveEntry() const;
    bool systemEntryEnabled() const;

    AutostartEntry entry_;
    XdgDirs dirs_;
};

}  // namespace morvale::LinuxDesktop
