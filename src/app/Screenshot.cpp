#include "app/Screenshot.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace morvale::app {

QImage renderWidget(QWidget& widget, qreal scale) {
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
