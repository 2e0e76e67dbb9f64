// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <optional>

namespace morvale::ui {

// Qt's StatusNotifierItem (the tray protocol of KDE, Xfce and GNOME's
// AppIndicator extension) reports an activation without the position the tray
// host sent with it. This keeps that position: from the item's Activate(x, y)
// call as it arrives, until taken. A host that has none (an activation from
// the keyboard, or a host that does not tell) sends (0, 0), which counts as
// none. Install once, after the application object is made.
void installTrayActivationSpy();

// The position of the last activation since the last call, if it had one.
std::optional<QPoint> takeTrayActivationPoint();

}  // namespace morvale::ui
