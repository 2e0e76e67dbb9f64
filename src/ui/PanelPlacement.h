#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace morvale::ui {

// Where the panel's top-left corner goes so that it hangs off the tray icon:
// below the anchor when the anchor is in the upper half of the screen (a top
// panel), above it otherwise (a bottom panel), centred on it horizontally, and
// moved as little as needed to lie within the screen's free area (which also
// puts it beside a panel on the left or right edge). anchor is the icon's
// rectangle, or the pointer's position as a 1x1 rectangle.
QPoint panelPosition(const QRect& anchor, const QSize& panel, const QRect& available);

// The gap between the anchor and the panel.
inline constexpr int panelGap = 4;

}  // namespace morvale::ui
