// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Workspace.h"
#include "platform/linux/DesktopEntryIndex.h"

namespace morvale::LinuxDesktop {

// The workspace of a Linux desktop: applications are desktop entries, known by
// their desktop file ID ("firefox-esr.desktop"); an application's location is
// its entry's path.
class DesktopWorkspace final : public Workspace {
public:
    // The index must outlive the workspace.
    explicit DesktopWorkspace(const DesktopEntryIndex& index);

    // The path of the entry with this desktop file ID.
    std::optional<std::string> urlForApplication(const std::string& desktopId) const override;

    // An entry's Name in the user's language; for any other path (or an entry
    // without a Name) the file name without its extension.
    std::string displayNameAtPath(const std::string& path) const override;

    // An entry's Icon: a file when it is an absolute path, else a name for the
    // icon theme. The generic application icon for entries without one and
    // for every other path.
    Icon iconForFile(const std::string& path) const override;

    Icon genericApplicationIcon() const override { return generic_; }

    // The index's reads: it reads the entries again when a folder changed.
    std::uint64_t generation() const override;

private:
    const DesktopEntryIndex& index_;
    Icon generic_;
};

// The picture an entry's Icon value names. Theme names lose an image file
// extension written by mistake ("foo.png"), which theme lookups do not expect;
// a relative path names nothing usable.
IconSource iconSourceFor(std::string_view iconValue);

}  // namespace morvale::LinuxDesktop
