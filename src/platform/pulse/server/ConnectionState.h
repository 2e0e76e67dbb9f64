// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace morvale::pulse {

// Where the connection to the sound server stands.
enum class ConnectionState {
    connecting,    // not connected yet, or connecting again after a loss
    ready,         // connected, and the server's objects are known
    disconnected,  // lost; a new attempt is scheduled
};

}  // namespace morvale::pulse
