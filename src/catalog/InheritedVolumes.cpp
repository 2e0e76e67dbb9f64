// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/InheritedVolumes.h"

#include <set>

#include "catalog/Grouping.h"

namespace morvale {

std::optional<InheritedVolumes> inheritVolumes(const std::vector<AudioProcess>& snapshot,
                                               const Volumes& stored, const GroupingRules& rules) {
    InheritedVolumes inherited;
    for (const AudioProcess& process : snapshot) {
        // Only a declared name gives a program key; most processes stop here.
        if (process.programName.empty()) {
            continue;
        }
        const auto programKey = Grouping::programKey(process, rules);
        if (!programKey || !stored.contains(*programKey)) {
            continue;
        }
        std::string key = Grouping::key(process, rules);
        if (!stored.contains(key)) {
            inherited.from.emplace(std::move(key), *programKey);
        }
    }
    if (inherited.from.empty()) {
        return std::nullopt;
    }

    inherited.volumes = stored;
    std::set<std::string, std::less<>> programKeys;
    for (const auto& [key, programKey] : inherited.from) {
        inherited.volumes.emplace(key, stored.find(programKey)->second);
        programKeys.insert(programKey);
    }
    for (const AudioProcess& process : snapshot) {
        // A program key that is also a process's own key keeps its row.
        programKeys.erase(Grouping::key(process, rules));
    }
    for (const std::string& programKey : programKeys) {
        inherited.volumes.erase(programKey);
    }
    return inherited;
}

}  // namespace morvale
