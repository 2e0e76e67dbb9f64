// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace morvale {

// A fresh random (version 4) UUID in its usual string form, upper case:
// "8-4-4-4-12" hexadecimal digits. Taps and aggregate devices are known by these.
std::string makeUuid();

}  // namespace morvale
