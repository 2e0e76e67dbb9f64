// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace morvale::app {

// The widget laid out at its own size and drawn into an image at scale pixels
// per unit (2 gives a sharp picture for high-density screens), without
// showing it on screen.
QImage renderWidget(QWidget& widget, qreal scale);

// renderWidget written as a PNG file; false when it could not be written.
bool saveScreenshot(QWidget& widget, const QString& path, qreal scale);

}  // namespace morvale::app
