// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/Volumes.h"
#include "platform/PropertyList.h"

namespace morvale::Settings {

// Keys of the user's settings. The stored volumes are keyed by group key.
inline constexpr std::string_view kVolumes = "volumes";
inline constexpr std::string_view kDuckBoostDB = "duckBoostDB";
inline constexpr std::string_view kMigrated = "migrated";

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

}  // namespace morvale::Settings
