// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace morvale::LinuxDesktop {

// Programs that run or start other programs (interpreters, shells, sandbox and
// privilege wrappers): "python3" in an Exec line or as a process's executable
// says nothing about which application it is.
bool isGenericProgram(std::string_view program);

// Processes above which an application's own processes never are: shells (a
// program started from a terminal is not the terminal) and the session's
// launchers, desktop shells and service managers. Looking for an application
// among a process's parents stops at these.
bool endsParentSearch(std::string_view program);

}  // namespace morvale::LinuxDesktop
