// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

#include "platform/Icon.h"

namespace morvale::ui {

// The picture for an application icon handle: a picture file, a name in the
// desktop's icon theme, or the generic application icon (also whenever the
// file or name yields nothing). Never null. Loaded pictures are kept, so a
// handle met again costs a lookup in memory only.
QIcon appIcon(const Icon& icon);

// The generic application icon of the desktop's theme, or our own.
QIcon genericAppIcon();

}  // namespace morvale::ui
