// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Grouping.h"

#include "catalog/RemoveAll.h"

namespace morvale::Grouping {

namespace {

constexpr std::string_view kProcPrefix = "proc:";

}  // namespace

std::string nameKey(std::string_view name) {
    std::string key(kProcPrefix);
    key += name;
    return key;
}

std::string key(const AudioProcess& process, const GroupingRules& rules) {
    const auto& members = rules.calls.members;
    if (members.contains(process.name)) {
        return std::string(callRowKey);
    }
    if (!process.bundleID) {
        return nameKey(process.name);
    }
    const std::string& id = *process.bundleID;
    if (members.contains(id)) {
        return std::string(callRowKey);
    }
    if (!rules.bundleRule) {
        return id;
    }
    GroupedAs grouped = rules.bundleRule(id, process.name);
    return grouped.bundleID ? std::move(*grouped.bundleID) : nameKey(grouped.name);
}

std::optional<std::string> programKey(const AudioProcess& process, const GroupingRules& rules) {
    if (process.bundleID || process.programName.empty() || process.programName == process.name) {
        return std::nullopt;
    }
    std::string former = key({.name = process.programName}, rules);
    if (former == key(process, rules)) {
        return std::nullopt;
    }
    return former;
}

Identities identities(const std::string& key, const GroupingRules& rules) {
    Identities result;
    if (key.empty() || key == callRowKey) {
        // No process has an empty bundle ID; the call row's members are told
        // by name as well as by bundle ID, some by name whatever the ID.
        return result;
    }
    // Asked of key() itself, so the two rules cannot part. A bundle ID whose
    // key hangs on the name gives another key for the empty name; only the
    // call row's names override a bundle ID otherwise.
    if (key.starts_with(kProcPrefix)) {
        std::string name = key.substr(kProcPrefix.size());
        if (!name.empty() && Grouping::key({.name = name}, rules) == key) {
            result.names.push_back(std::move(name));
        }
    } else if (Grouping::key({.bundleID = key}, rules) == key) {
        result.bundleIDs.push_back(key);
    }
    return result;
}

std::optional<std::string> appURL(const std::string& key, const Workspace& workspace) {
    if (key.find('.') == std::string::npos || key.starts_with(kProcPrefix)) {
        return std::nullopt;
    }
    return workspace.urlForApplication(key);
}

std::string displayName(const std::string& key, const std::string& fallback,
                        const Workspace& workspace, const GroupingRules& rules) {
    if (key == callRowKey) {
        return rules.calls.name;
    }
    if (const auto url = appURL(key, workspace)) {
        return removeAll(workspace.displayNameAtPath(*url), rules.displayNameSuffix);
    }
    return fallback;
}

Icon icon(const std::string& key, const Workspace& workspace, const GroupingRules& rules) {
    const bool callRow = key == callRowKey;
    if (const auto lookup = callRow ? rules.calls.iconApplication : key) {
        if (const auto url = appURL(*lookup, workspace)) {
            return workspace.iconForFile(*url);
        }
    }
    if (callRow && rules.calls.icon) {
        return rules.calls.icon;
    }
    return workspace.genericApplicationIcon();
}

}  // namespace morvale::Grouping
