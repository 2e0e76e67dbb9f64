// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/CallGroup.h"

namespace morvale::ui {

// The call row of the Linux desktop: the voice-call streams of every
// application, named "Calls" in the user's language, with the icon theme's
// call symbol (or the one the program ships).
CallGroup desktopCalls();

}  // namespace morvale::ui
