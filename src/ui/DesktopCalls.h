// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GroupingRules.h"

namespace morvale::ui {

// The Linux desktop's grouping, with its call row (the voice-call streams of
// every application) named "Calls" in the user's language.
GroupingRules desktopGrouping();

}  // namespace morvale::ui
