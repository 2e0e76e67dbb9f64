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

}  // namespace morvale::ui
