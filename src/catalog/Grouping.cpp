// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Grouping.h"

#include <algorithm>

#include "catalog/RemoveAll.h"

namespace morvale::Grouping {

namespace {

constexpr std::string_view kProcPrefix = "proc:";
constexpr std::string_view kWebKitPrefix = "com.apple.WebKit";
constexpr std::string_view kWebKitSeparator = " Graphics and Media";
constexpr std::string_view kSafariBundleID = "com.apple.Safari";
constexpr std::string_view kHelperMarker = ".helper";
constexpr std::string_view kFaceTimeBundleID = "com.apple.FaceTime";
constexpr std::string_view kCallThemeIcon = "call-start";
constexpr std::string_view kAppSuffix = ".app";

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Position of the first ".helper" in any letter case, or npos.
std::size_t findHelperMarker(std::string_view id) {
    const auto it = std::search(id.begin(), id.end(), kHelperMarker.begin(), kHelperMarker.end(),
                                [](char a, char b) { return asciiLower(a) == b; });
    return it == id.end() ? std::string_view::npos : static_cast<std::size_t>(it - id.begin());
}

std::string webKitHelperKey(const std::string& processName) {
    const std::string_view name = processName;
    const std::string_view served = name.substr(0, name.find(kWebKitSeparator));
    if (served.empty() || served.starts_with("Safari")) {
        return std::string(kSafariBundleID);
    }
    return std::string(kProcPrefix) + std::string(served);
}


}  // namespace

const std::unordered_set<std::string>& faceTimeMembers() {
    static const std::unordered_set<std::string> members{
        "com.apple.FaceTime",
        "FaceTime",
        "com.apple.avconferenced",
        "avconferenced",
        "com.apple.telephonyutilities.callservicesd",
        "callservicesd",
    };
    return members;
}

CallGroup faceTimeCalls() {
    return CallGroup{"FaceTime", faceTimeMembers(), std::string(kFaceTimeBundleID), nullptr};
}

CallGroup callStreamCalls(std::string name) {
    return CallGroup{std::move(name),
                     {std::string(kCallStreamsBundleID)},
                     std::nullopt,
                     makeIcon(IconSource::Kind::themeName, std::string(kCallThemeIcon))};
}

std::string key(const AudioProcess& process, const CallGroup& calls) {
    const auto& members = calls.members;
    if (members.contains(process.name)) {
        return std::string(faceTimeKey);
    }
    if (!process.bundleID) {
        return std::string(kProcPrefix) + process.name;
    }
    const std::string& id = *process.bundleID;
    if (members.contains(id)) {
        return std::string(faceTimeKey);
    }
    if (id.starts_with(kWebKitPrefix)) {
        return webKitHelperKey(process.name);
    }
    const std::size_t helper = findHelperMarker(id);
    return helper == std::string::npos ? id : id.substr(0, helper);
}

Identities identities(const std::string& key, const CallGroup& calls) {
    Identities result;
    if (key.empty() || key == faceTimeKey) {
        // No process has an empty bundle ID; the call row's members are told
        // by name as well as by bundle ID, some by name whatever the ID.
        return result;
    }
    // Asked of key() itself, so the two rules cannot part. A bundle ID whose
    // key hangs on the name (the web engine's helpers) gives another key for
    // the empty name; only the call row's names override a bundle ID otherwise.
    if (key.starts_with(kProcPrefix)) {
        std::string name = key.substr(kProcPrefix.size());
        if (!name.empty() && Grouping::key({.name = name}, calls) == key) {
            result.names.push_back(std::move(name));
        }
    } else if (Grouping::key({.bundleID = key}, calls) == key) {
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
                        const Workspace& workspace, const CallGroup& calls) {
    if (key == faceTimeKey) {
        return calls.name;
    }
    if (const auto url = appURL(key, workspace)) {
        return removeAll(workspace.displayNameAtPath(*url), kAppSuffix);
    }
    return fallback;
}

Icon icon(const std::string& key, const Workspace& workspace, const CallGroup& calls) {
    const bool callRow = key == faceTimeKey;
    if (const auto lookup = callRow ? calls.iconApplication : key) {
        if (const auto url = appURL(*lookup, workspace)) {
            return workspace.iconForFile(*url);
        }
    }
    if (callRow && calls.icon) {
        return calls.icon;
    }
    return workspace.genericApplicationIcon();
}

}  // namespace morvale::Grouping
