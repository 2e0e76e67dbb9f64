// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unordered_map>
#include <string>
#include <vector>

#include "audio/AudioProcess.h"
#include "catalog/AppEntry.h"
#include "catalog/Volumes.h"
#include "platform/Collator.h"
#include "platform/GroupingRules.h"
#include "platform/Workspace.h"

namespace morvale {

// What building the rows needs besides the snapshot.
struct EntrySources {
    const Workspace& workspace;
    const Collator& collator;
    const GroupingRules& grouping;
};

using IconCache = std::unordered_map<std::string, Icon>;

// Remembered keys without processes get rows up to this many, the first in
// key order: settings may remember any number of applications, and a panel of
// thousands of rows that nobody runs helps no one (nor opens promptly). The
// others' volumes still apply, and their rows show, when their applications run.
inline constexpr std::size_t kMaxRememberedRows = 100;

// The rows for one snapshot: one per group key that is playing, belongs to an
// ordinary application (AudioProcess::isApplication), has a stored volume, or
// is the call row; then a row
// for each remembered key without processes (see kMaxRememberedRows), and
// always the call row. Sorted the call row first, then playing rows, then the
// rest, each by name. Icons come from the cache, which learns every key's icon
// on its first appearance.
std::vector<AppEntry> buildEntries(const std::vector<AudioProcess>& snapshot,
                                   const Volumes& volumes,
                                   IconCache& iconCache, const EntrySources& sources);

}  // namespace morvale
