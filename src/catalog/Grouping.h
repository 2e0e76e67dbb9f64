// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "audio/AudioProcess.h"
#include "platform/CallGroup.h"
#include "platform/Icon.h"
#include "platform/Workspace.h"

namespace morvale::Grouping {

// Which application row a process belongs to, and what the row is called and
// looks like. The group key is also the key of the stored volumes, so the key
// rule must never change for existing processes.

// The key of the call row on every platform, whoever its members are.
inline constexpr std::string_view faceTimeKey = "facetime";

// Bundle identifiers and process names that belong to the FaceTime row.
const std::unordered_set<std::string>& faceTimeMembers();

// The call row of FaceTime: its members, named "FaceTime", with its icon.
CallGroup faceTimeCalls();

// The call row of a desktop whose audio system reports voice-call streams as
// process objects of their own (kCallStreamsBundleID), whichever application
// plays them: named as given, with the icon theme's "call-start".
CallGroup callStreamCalls(std::string name);

// The group key of a process: "facetime" for a member of the call row, a
// (shortened) bundle identifier, or "proc:" followed by a name.
std::string key(const AudioProcess& process, const CallGroup& calls);

// Who a process must be to belong to a key whatever else is true of it: one
// of these bundle IDs, or, without a bundle ID, one of these names. So a
// process that starts later can be told to belong to the key before it is
// seen in a snapshot. Empty for keys whose members cannot be told that way.
struct Identities {
    std::vector<std::string> bundleIDs;
    std::vector<std::string> names;

    friend bool operator==(const Identities&, const Identities&) = default;
};
Identities identities(const std::string& key, const CallGroup& calls);

// Where the application for a key is installed; never asks for "facetime" or
// "proc:" keys, nor for keys without a dot.
std::optional<std::string> appURL(const std::string& key, const Workspace& workspace);

// The row name for a key: the call row's name, the installed application's
// display name without ".app", or fallback.
std::string displayName(const std::string& key, const std::string& fallback,
                        const Workspace& workspace, const CallGroup& calls);

// The picture for a key: the installed application's icon (for the call row,
// its icon's), else the call row's own picture, else the generic one.
Icon icon(const std::string& key, const Workspace& workspace, const CallGroup& calls);

}  // namespace morvale::Grouping
