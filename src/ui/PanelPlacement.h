// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

namespace morvale::ui {

// Where the panel's top-left corner goes so that it hangs off the tray icon:
// below the anchor when the anchor is in the upper half of the screen (a top
// panel), above it otherwise (a bottom panel), centred on it horizontally, and
// moved as little as needed to lie within the screen's free area (which also
// puts it beside a panel on the left or right edge). anchor is the icon's
// rectangle, the pointer's position at a click on it as a 1x1 rectangle, or
// trayCorner().
QPoint panelPosition(const QRect& anchor, const QSize& panel, const QRect& available);

// Where the tray most likely is when nothing told us: at the end of the
// desktop panel that the screen reserves room for (the edge where the free
// area falls short of the whole screen), as an anchor for panelPosition().
// Trays sit at the trailing end of horizontal panels and at the bottom of
// vertical ones. A horizontal panel wins over a vertical one (a dock), the
// thicker of two wins, and the top wins a tie; a screen without any reserved
// edge gives the top trailing corner.
QRect trayCorner(const QRect& screen, const QRect& available,
                 Qt::LayoutDirection direction = Qt::LeftToRight);

// The gap between the anchor and the panel.
inline constexpr int panelGap = 4;

}  // namespace morvale::ui
