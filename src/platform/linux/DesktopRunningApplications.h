// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RunningApplications.h"
#include "platform/linux/AppIdentity.h"
#include "platform/linux/DesktopEntryIndex.h"

namespace morvale::LinuxDesktop {

// A process is part of a running application when it belongs to an installed
// desktop entry: a regular one when the entry is shown in menus, an accessory
// when the entry is hidden from them (NoDisplay or Hidden).
class DesktopRunningApplications final : public RunningApplications {
public:
    // Both must outlive this object.
    DesktopRunningApplications(const AppIdentifier& identifier, const DesktopEntryIndex& index);

    std::optional<RunningApplication> application(std::int32_t pid) const override;
    // By the bundle ID alone: it is the desktop ID the audio backend found
    // for the client from all it told, which a search by pid could miss.
    std::optional<RunningApplication> applicationOfAudioProcess(
        std::int32_t pid, const std::optional<std::string>& bundleID) const override;

private:
    const AppIdentifier& identifier_;
    const DesktopEntryIndex& index_;
};

}  // namespace morvale::LinuxDesktop
