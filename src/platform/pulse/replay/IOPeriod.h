// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <vector>

namespace morvale::pulse {

// The period of a tap's IO path: how much audio the tap sink renders at a
// time and the capture hands to the IO block; the replay's buffer scales with
// it.
//
// Every stream in a sink is asked for more data about once a period, so the
// server's work grows with the streams times the periods per second. A tap
// of a few streams runs in the shortest period, for the least added latency.
// A tap of many runs in the period its streams are content with on their own
// sinks (the shortest of their latencies, 0 for unknown, floored to a
// multiple of `shortest`), up to four times `shortest`: a hundred streams
// that keep two seconds of audio queued each would otherwise cost the server
// ten times what they cost it on their own sink.
std::chrono::milliseconds ioPeriod(std::chrono::milliseconds shortest,
                                   const std::vector<std::chrono::microseconds>& streamLatencies);

}  // namespace morvale::pulse
