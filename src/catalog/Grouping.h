#pragma once

#include <optional>
#include <string>
#include <unordered_set>

#include "audio/AudioProcess.h"
#include "platform/Icon.h"
#include "platform/Workspace.h"

namespace morvale::Grouping {

// Which application row a process belongs to, and what the row is called and
// looks like. The group key is also the key of the stored volumes, so the key
// rule must never change for existing processes.

inline constexpr std::string_view faceTimeKey = "facetime";

// Bundle identifiers and process names that belong to the FaceTime row.
const std::unordered_set<std::string>& faceTimeMembers();

// The group key of a process: "facetime", a (shortened) bundle identifier, or
// "proc:" followed by a name.
std::string key(const AudioProcess& process);

// Where the application for a key is installed; never asks for "facetime" or
// "proc:" keys, nor for keys without a dot.
std::optional<std::string> appURL(const std::string& key, const Workspace& workspace);

// The row name for a key: "FaceTime", the installed application's display name
// without ".app", or fallback.
std::string displayName(const std::string& key, const std::string& fallback,
                        const Workspace& workspace);

// The picture for a key: the installed application's icon, else the generic one.
Icon icon(const std::string& key, const Workspace& workspace);

}  // namespace morvale::Grouping
