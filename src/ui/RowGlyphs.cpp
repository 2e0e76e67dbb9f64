// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RowGlyphs.h"

#include <QPaintDevice>
#include <QPainter>

namespace morvale::ui {

AppIconView::AppIconView(QWidget* parent) : QWidget(parent) {}

void AppIconView::setIcon(const QIcon& icon) {
    if (icon.cacheKey() == icon_.cacheKey()) {
        return;
    }
    icon_ = icon;
    update();
}

void AppIconView::setOpacity(qreal opacity) {
    if (opacity == opacity_) {
        return;
    }
    opacity_ = opacity;
    update();
}

void AppIconView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Pixels for the device drawn on (a screen, or an image at a higher density
    // when the panel is rendered to a file).
    const qreal scale = painter.device()->devicePixelRatioF();
    const QSize pixels = size() * scale;
    QPixmap picture = icon_.pixmap(size(), scale);
    if (picture.isNull()) {
        return;
    }
    if (picture.size() != pixels) {
        picture = picture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    picture.setDevicePixelRatio(scale);
    painter.setOpacity(opacity_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), picture);
}

Dot::Dot(QWidget* parent) : QWidget(parent) {}

void Dot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(foregroundRole()));
    painter.drawEllipse(QRectF(rect()));
}

}  // namespace morvale::ui
