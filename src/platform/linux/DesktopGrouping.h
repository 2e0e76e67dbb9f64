// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/GroupingRules.h"

namespace morvale::LinuxDesktop {

// The grouping of the Linux desktop. A process's bundle ID is the desktop file
// ID its audio client was found to belong to, which already names the
// application for every helper process of it; so it is the key as it is, dots
// and all ("com.example.helperless.desktop" stays whole). The call row holds
// the voice-call streams (kCallStreamsBundleID) of every application, named as
// given, with the icon theme's "call-start".
GroupingRules desktopGrouping(std::string callRowName);

}  // namespace morvale::LinuxDesktop
