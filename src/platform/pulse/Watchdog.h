// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>

namespace morvale::pulse {

// Starts, once per process, a small child process that waits for this process
// to end (however it ends, kill -9 included) and then connects to the server,
// moves the streams out of the tap sinks that this process left behind and
// unloads those sinks. It is forked before this process makes any libpulse
// object, so the child starts from a clean library; later calls do nothing.
void ensureWatchdog(const std::string& server, std::chrono::milliseconds timeout);

}  // namespace morvale::pulse
