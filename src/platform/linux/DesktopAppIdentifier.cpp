// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DesktopAppIdentifier.h"

#include "platform/linux/DesktopEntry.h"
#include "platform/linux/ProgramNames.h"
#include "platform/linux/SystemdUnit.h"

namespace morvale::LinuxDesktop {

namespace {

constexpr std::size_t kMaxCachedProcesses = 4096;

std::optional<std::string> installedId(const std::string& id, const DesktopEntries& entries) {
    if (entries.byId(id) != nullptr) {
        return id;
    }
    return std::nullopt;
}

std::optional<std::string> programEntry(std::string_view program, const DesktopEntries& entries) {
    if (const DesktopEntry* entry = entries.byProgram(program)) {
        return entry->id;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> desktopIdForSandboxApp(std::string_view appId,
                                                  const DesktopEntries& entries) {
    if (!isPlainDesktopId(appId)) {
        return std::nullopt;
    }
    const std::string id(appId);
    if (id.ends_with(".desktop")) {
        if (auto found = installedId(id, entries)) {
            return found;
        }
    }
    if (auto found = installedId(id + ".desktop", entries)) {
        return found;
    }
    if (auto found = installedId(id + "_" + id + ".desktop", entries)) {
        return found;
    }
    if (id.find('.') != std::string::npos) {
        return id + ".desktop";
    }
    return std::nullopt;
}

DesktopAppIdentifier::DesktopAppIdentifier(const DesktopEntryIndex& index, ProcFs proc)
    : index_(index), proc_(std::move(proc)) {}

std::optional<std::string> DesktopAppIdentifier::parentMatch(std::int32_t pid,
                                                             const DesktopEntries& entries) const {
    for (int generation = 0; generation < kMaxParents && pid > 1; ++generation) {
        const auto name = proc_.executableName(pid);
        if (!name || endsParentSearch(*name)) {
            return std::nullopt;
        }
        if (auto found = programEntry(*name, entries)) {
            return found;
        }
        const auto stat = proc_.stat(pid);
        if (!stat) {
            return std::nullopt;
        }
        pid = stat->parent;
    }
    return std::nullopt;
}

DesktopAppIdentifier::Facts DesktopAppIdentifier::readFacts(std::int32_t pid, const ProcStat& stat,
                                                            const DesktopEntries& entries) const {
    Facts facts;
    if (const auto flatpak = proc_.flatpakAppId(pid)) {
        facts.sandboxId = desktopIdForSandboxApp(*flatpak, entries);
    }
    if (const auto cgroup = proc_.cgroup(pid)) {
        if (const auto unit = innermostUnit(*cgroup)) {
            facts.unitIds = desktopIdsForUnit(*unit);
        }
    }
    if (const auto name = proc_.executableName(pid)) {
        facts.executableKnown = true;
        facts.ownMatch = programEntry(*name, entries);
        facts.mayClimb = !endsParentSearch(*name);
    }
    if (!facts.ownMatch && facts.mayClimb) {
        facts.parentMatch = parentMatch(stat.parent, entries);
    }
    return facts;
}

std::optional<std::string> DesktopAppIdentifier::desktopId(const ClientHints& hints) const {
    const std::shared_ptr<const DesktopEntries> entries = index_.entries();

    if (hints.portalAppId) {
        if (auto id = desktopIdForSandboxApp(*hints.portalAppId, *entries)) {
            return id;
        }
    }

    std::optional<Facts> facts;
    if (hints.pid > 0) {
        if (const auto stat = proc_.stat(hints.pid)) {
            const std::pair key{hints.pid, stat->startTime};
            std::lock_guard lock(mutex_);
            if (cacheEntries_ != entries || cache_.size() >= kMaxCachedProcesses) {
                // Matches depend on the installed entries; a full cache mostly
                // holds processes that are gone.
                cache_.clear();
                cacheEntries_ = entries;
            }
            auto it = cache_.find(key);
            if (it == cache_.end()) {
                it = cache_.emplace(key, readFacts(hints.pid, *stat, *entries)).first;
            }
            facts = it->second;
        }
    }

    if (facts && facts->sandboxId) {
        return facts->sandboxId;
    }
    if (facts) {
        for (const auto& id : facts->unitIds) {
            if (entries->byId(id) != nullptr) {
                return id;
            }
        }
    }
    if (hints.applicationId && isPlainDesktopId(*hints.applicationId)) {
        if (auto id = installedId(*hints.applicationId, *entries)) {
            return id;
        }
        if (auto id = installedId(*hints.applicationId + ".desktop", *entries)) {
            return id;
        }
    }
    if (facts && facts->executableKnown) {
        if (facts->ownMatch) {
            return facts->ownMatch;
        }
    } else if (hints.binary) {
        if (auto id = programEntry(*hints.binary, *entries)) {
            return id;
        }
    }
    if (facts && facts->parentMatch) {
        return facts->parentMatch;
    }
    if (facts && !facts->unitIds.empty()) {
        return facts->unitIds.front();
    }
    return std::nullopt;
}

}  // namespace morvale::LinuxDesktop
