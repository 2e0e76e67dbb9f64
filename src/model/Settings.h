// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "catalog/Volumes.h"
#include "platform/PropertyList.h"

namespace morvale::Settings {

// Keys of the user's settings. The stored volumes are keyed by group key.
inline constexpr std::string_view kVolumes = "volumes";
inline constexpr std::string_view kDuckBoostDB = "duckBoostDB";
inline constexpr std::string_view kMigrated = "migrated";
// The output each application was sent to, by group key (as "volumes"): the
// device's UID (a sink's name, which stays the same across restarts). A key
// without one follows the default output.
inline constexpr std::string_view kOutputs = "outputs";
// The group keys whose rows the user hid, a list.
inline constexpr std::string_view kHidden = "hidden";

// The settings suite an earlier edition kept its values in; read once to
// migrate, never written.
inline constexpr std::string_view kLegacySuite = "io.github.morvale.Morvale.legacy";

// All or nothing: a dictionary whose every value is a number loads; anything
// else loads as no stored volumes, with the reason.
struct LoadedVolumes {
    Volumes volumes;
    std::optional<std::string> problem;  // why stored volumes could not be used
};
LoadedVolumes loadVolumes(const std::optional<PlistValue>& stored);

// A number loads as it is; anything else as 0.
double duckBoostFrom(const std::optional<PlistValue>& stored);

PlistValue toPlist(const Volumes& volumes);

// Chosen outputs by group key.
using Outputs = std::map<std::string, std::string, std::less<>>;
using KeySet = std::set<std::string, std::less<>>;

// Each entry that names a device loads; an entry that does not (not a string,
// or empty) is left out, and anything but a table loads as none: a broken
// output choice costs that choice only, never a volume.
Outputs loadOutputs(const std::optional<PlistValue>& stored);
PlistValue toPlist(const Outputs& outputs);

// Each string of the list loads; anything else is left out.
KeySet loadKeys(const std::optional<PlistValue>& stored);
PlistValue toPlist(const KeySet& keys);

}  // namespace morvale::Settings
