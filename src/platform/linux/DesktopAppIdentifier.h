// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/AppIdentity.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/ProcFs.h"

namespace morvale::LinuxDesktop {

// Finds a client's desktop file ID from, in this order:
//  1. the sandbox's app ID: the portal's (hints.portalAppId) or the one in
//     the process's /.flatpak-info;
//  2. the desktop ID in the name of the process's systemd unit, when such an
//     entry is installed;
//  3. hints.applicationId, when it (or it + ".desktop") names an installed entry;
//  4. the process's executable (or hints.binary when that cannot be read)
//     matched against the entries' Exec and TryExec programs, then the same
//     for its parent, grandparent and so on, stopping at shells and session
//     processes and after a few generations;
//  5. the unit's desktop ID even when no such entry is installed.
// Facts read from /proc are kept per process (pid and start time) and read
// again only when the process or the installed entries change. Safe to call
// from several threads.
class DesktopAppIdentifier final : public AppIdentifier {
public:
    // The index must outlive the identifier.
    explicit DesktopAppIdentifier(const DesktopEntryIndex& index, ProcFs proc = ProcFs{});

    std::optional<std::string> desktopId(const ClientHints& hints) const override;

    // At most this many parents are looked at.
    static constexpr int kMaxParents = 8;

private:
    struct Facts {
        std::optional<std::string> sandboxId;  // desktop ID from /.flatpak-info
        std::vector<std::string> unitIds;      // candidates from the systemd unit
        bool executableKnown = false;
        std::optional<std::string> ownMatch;     // entry of the process's executable
        bool mayClimb = true;                    // the process itself is no shell
        std::optional<std::string> parentMatch;  // entry of the nearest matching parent
    };

    Facts readFacts(std::int32_t pid, const ProcStat& stat, const DesktopEntries& entries) const;
    std::optional<std::string> parentMatch(std::int32_t parent,
                                           const DesktopEntries& entries) const;

    const DesktopEntryIndex& index_;
    ProcFs proc_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const DesktopEntries> cacheEntries_;  // what the cache was built on
    mutable std::map<std::pair<std::int32_t, std::uint64_t>, Facts> cache_;
};

// The desktop ID a sandbox's app ID stands for: "<id>.desktop" for a Flatpak
// ID, "<snap>_<snap>.desktop" for a Snap name, as installed. An app ID that
// names no installed entry still gives "<id>.desktop" when it has a dot (a
// Flatpak ID always does), so every process of the sandbox shares it.
std::optional<std::string> desktopIdForSandboxApp(std::string_view appId,
                                                  const DesktopEntries& entries);

}  // namespace morvale::LinuxDesktop
