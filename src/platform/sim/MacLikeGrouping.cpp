// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/MacLikeGrouping.h"

#include <algorithm>
#include <string_view>

namespace morvale::sim {

namespace {

constexpr std::string_view kWebKitPrefix = "com.apple.WebKit";
constexpr std::string_view kWebKitSeparator = " Graphics and Media";
constexpr std::string_view kSafariBundleID = "com.apple.Safari";
constexpr std::string_view kHelperMarker = ".helper";
constexpr std::string_view kFaceTimeBundleID = "com.apple.FaceTime";

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Position of the first ".helper" in any letter case, or npos.
std::size_t findHelperMarker(std::string_view id) {
    const auto it = std::search(id.begin(), id.end(), kHelperMarker.begin(), kHelperMarker.end(),
                                [](char a, char b) { return asciiLower(a) == b; });
    return it == id.end() ? std::string_view::npos : static_cast<std::size_t>(it - id.begin());
}

GroupedAs webEngineProcess(std::string_view name) {
    const std::string_view served = name.substr(0, name.find(kWebKitSeparator));
    if (served.empty() || served.starts_with("Safari")) {
        return {std::string(kSafariBundleID), {}};
    }
    return {std::nullopt, std::string(served)};
}

GroupedAs groupBundle(const std::string& id, const std::string& name) {
    if (id.starts_with(kWebKitPrefix)) {
        return webEngineProcess(name);
    }
    const std::size_t helper = findHelperMarker(id);
    return {helper == std::string::npos ? id : id.substr(0, helper), {}};
}

}  // namespace

const std::unordered_set<std::string>& macLikeCallMembers() {
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

GroupingRules macLikeGrouping() {
    return GroupingRules{
        .calls = CallGroup{"FaceTime", macLikeCallMembers(), std::string(kFaceTimeBundleID),
                           nullptr},
        .bundleRule = groupBundle,
        .displayNameSuffix = ".app",
    };
}

}  // namespace morvale::sim
