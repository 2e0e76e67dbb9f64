// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Screenshot.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include "ui/ColorScheme.h"

namespace morvale::app {

QImage renderWidget(QWidget& widget, qreal scale) {
    // In the scheme MORVALE_COLOR_SCHEME asks for, else as the desktop is.
    widget.setPalette(ui::paletteFor(
        ui::colorSchemeFromEnvironment().value_or(ui::ColorScheme::noPreference),
        QApplication::palette()));
    // Laid out as when shown, but never mapped on a screen.
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.show();
    widget.adjustSize();
    QApplication::processEvents();

    QImage image(widget.size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(widget.palette().color(QPalette::Window));
    widget.render(&image);
    return image;
}

bool saveScreenshot(QWidget& widget, const QString& path, qreal scale) {
    return renderWidget(widget, scale).save(path, "PNG");
}

}  // namespace morvale::app
