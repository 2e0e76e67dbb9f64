// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DesktopGrouping.h"

namespace morvale::LinuxDesktop {

GroupingRules desktopGrouping(std::string callRowName) {
    return GroupingRules{
        .calls = CallGroup{std::move(callRowName),
                           {std::string(kCallStreamsBundleID)},
                           std::nullopt,
                           makeIcon(IconSource::Kind::themeName, "call-start")},
        .bundleRule = nullptr,
        .displayNameSuffix = {},
    };
}

}  // namespace morvale::LinuxDesktop
