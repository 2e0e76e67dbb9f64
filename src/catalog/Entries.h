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

// What a row shows for a key, learnt on the key's first appearance: working
// the name and icon out again on every refresh was most of a refresh's cost.
// A name is worked out anew when the process it falls back on changes.
struct EntryLooks {
    Icon icon;
    std::string fallback;  // the process name `name` was worked out with
    std::string name;
    bool named = false;
};
using LooksCache = std::unordered_map<std::string, EntryLooks>;

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
// rest, each by name. Names and icons come from the cache, which learns them
// on a key's first appearance.
std::vector<AppEntry> buildEntries(const std::vector<AudioProcess>& snapshot,
                                   const Volumes& volumes,
                                   LooksCache& looks, const EntrySources& sources);

}  // namespace morvale
