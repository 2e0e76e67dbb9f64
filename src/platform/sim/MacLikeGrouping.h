// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <unordered_set>

#include "platform/GroupingRules.h"

namespace morvale::sim {

// The grouping of a desktop whose applications are bundles ("Name.app") with
// helper processes of their own bundle IDs, a shared web engine whose
// processes serve other applications, and a call application with daemons of
// its own. The simulated platform runs on them, so that the core is tested
// against rules that do more than name a process by its bundle ID:
//  - the call row is the call application and its daemons, by bundle ID or
//    by name;
//  - a helper's bundle ID is cut at its first ".helper", in any letter case
//    ("com.google.Chrome.Helper" belongs to "com.google.Chrome");
//  - a web engine process ("com.apple.WebKit.*") belongs to the application
//    its name says it serves ("Mail Graphics and Media" to "Mail"), and to
//    the browser when it names none or the browser itself;
//  - ".app" is dropped from applications' display names.
GroupingRules macLikeGrouping();

// The call row's members: bundle IDs and process names in one set.
const std::unordered_set<std::string>& macLikeCallMembers();

}  // namespace morvale::sim
