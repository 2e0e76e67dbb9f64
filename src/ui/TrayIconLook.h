// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <optional>

class QPalette;

namespace morvale::ui {

// How the tray icon is drawn where the program draws it itself: in an X11
// (XEmbed) tray, and in the picture that a StatusNotifierItem host falls back
// on when it cannot load the icon by its name.
struct TrayIconLook {
    QColor glyph;
    QColor outline;
};

// The glyph takes the tray's own colour for the icons in it when the tray
// announces one (it knows its panel), else the desktop's text colour. It is
// ringed in the opposite tone: the panel may be dark while the desktop's
// windows are light, and an X11 tray may put the icon on a background of its
// own (black, where Qt's tray icon has no compositing to blend with); the
// ring keeps the icon visible on any of them, and on the panel's own colour
// it hardly shows.
TrayIconLook trayIconLook(const std::optional<QColor>& trayForeground, const QPalette& palette);

}  // namespace morvale::ui
