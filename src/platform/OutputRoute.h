// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/TapDescription.h"

namespace morvale {

// Where an application's streams play: every playback stream of the processes
// `streams` names (its process objects, and processes named by bundle ID or
// name, those that start later included, as a tap names them) goes to the
// output device `deviceUID`, from its first sample. While that device is not
// there the streams play on the default output, and they go to it again when
// it comes back.
struct OutputRoute {
    TapDescription streams;  // only its processes, bundleIDs and processNames count
    std::string deviceUID;

    friend bool operator==(const OutputRoute&, const OutputRoute&) = default;
};

// The whole table, written to the system object's kOutputRoutes. A table
// replaces the one before: streams a route sent somewhere that no route names
// any more follow the default output again, as if never routed. Streams no
// route ever named are never moved; when the layer goes away, routed streams
// stay where they are.
using OutputRoutes = std::vector<OutputRoute>;

}  // namespace morvale
