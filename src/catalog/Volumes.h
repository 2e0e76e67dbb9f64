// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <string>

namespace morvale {

// The volumes the user set, by group key: what the settings store, the model
// publishes and the catalog keeps rows for. A key at full volume is absent.
using Volumes = std::map<std::string, double, std::less<>>;

}  // namespace morvale
