// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayIconLook.h"

#include <QPalette>

namespace morvale::ui {

TrayIconLook trayIconLook(const std::optional<QColor>& trayForeground, const QPalette& palette) {
    const QColor glyph = trayForeground && trayForeground->isValid()
                             ? *trayForeground
                             : palette.color(QPalette::WindowText);
    return {glyph, glyph.lightnessF() > 0.5f ? QColor(Qt::black) : QColor(Qt::white)};
}

}  // namespace morvale::ui
