// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PanelPlacement.h"

#include <algorithm>

namespace morvale::ui {

QPoint panelPosition(const QRect& anchor, const QSize& panel, const QRect& available) {
    const bool below = anchor.center().y() < available.center().y();
    int x = anchor.center().x() - panel.width() / 2;
    int y = below ? anchor.bottom() + 1 + panelGap : anchor.top() - panelGap - panel.height();

    // Within the free area; when the panel is larger than it, its top-left
    // corner stays visible.
    x = std::max(available.left(), std::min(x, available.right() + 1 - panel.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - panel.height()));
    return {x, y};
}

QRect trayCorner(const QRect& screen, const QRect& available, Qt::LayoutDirection direction) {
    // The room each edge's panel takes.
    const int top = std::max(0, available.top() - screen.top());
    const int bottom = std::max(0, screen.bottom() - available.bottom());
    const int left = std::max(0, available.left() - screen.left());
    const int right = std::max(0, screen.right() - available.right());
    const bool rtl = direction == Qt::RightToLeft;
    const int trailingX = rtl ? available.left() : available.right();

    if (top > 0 || bottom > 0 || (left == 0 && right == 0)) {
        if (bottom > top) {
            return {trailingX, available.bottom() + 1, 1, bottom};
        }
        return {trailingX, screen.top(), 1, std::max(top, 1)};
    }
    // A vertical panel: the tray at its bottom, the panel beside it.
    const bool onRight = right > left || (right == left && !rtl);
    if (onRight) {
        return {available.right() + 1, available.bottom(), right, 1};
    }
    return {screen.left(), available.bottom(), left, 1};
}

}  // namespace morvale::ui
