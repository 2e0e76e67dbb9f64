// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DesktopRunningApplications.h"

namespace morvale::LinuxDesktop {

DesktopRunningApplications::DesktopRunningApplications(const AppIdentifier& identifier,
                                                       const DesktopEntryIndex& index)
    : identifier_(identifier), index_(index) {}

std::optional<RunningApplication> DesktopRunningApplications::application(std::int32_t pid) const {
    if (pid <= 0) {
        return std::nullopt;
    }
    ClientHints hints;
    hints.pid = pid;
    const auto id = identifier_.desktopId(hints);
    if (!id) {
        return std::nullopt;
    }
    return applicationOfAudioProcess(pid, id);
}

std::optional<RunningApplication> DesktopRunningApplications::applicationOfAudioProcess(
    std::int32_t, const std::optional<std::string>& bundleID) const {
    if (!bundleID) {
        return std::nullopt;
    }
    const auto entries = index_.entries();
    const DesktopEntry* entry = entries->byId(*bundleID);
    if (entry == nullptr) {
        return std::nullopt;
    }
    RunningApplication app;
    if (!entry->name.empty()) {
        app.localizedName = entry->name;
    }
    app.activationPolicy =
        entry->shownInMenus() ? ActivationPolicy::regular : ActivationPolicy::accessory;
    return app;
}

}  // namespace morvale::LinuxDesktop
