// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TextWidgets.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace morvale::ui {

ElidedLabel::ElidedLabel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    setAccessibleName(text);  // what a screen reader reads for this label
    updateGeometry();
    update();
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text_, Qt::ElideRight, width());
}

QSize ElidedLabel::sizeHint() const {
    // Rounded up: eliding measures the text's exact width, which the whole
    // text must fit.
    const QFontMetricsF metrics(font());
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_))) + 1,
            fontMetrics().height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

namespace {

int widestDigit(const QFontMetrics& metrics) {
    int widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit) {
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
    }
    return widest;
}

}  // namespace

DigitsLabel::DigitsLabel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void DigitsLabel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    const bool widthChanges = textWidth(text) != textWidth(text_);
    text_ = text;
    setAccessibleName(text);
    if (widthChanges) {
        updateGeometry();
    }
    update();
}

int DigitsLabel::textWidth(const QString& text) const {
    const QFontMetrics metrics = fontMetrics();
    const int digit = widestDigit(metrics);
    int width = 0;
    for (const QChar c : text) {
        width += c.isDigit() ? digit : metrics.horizontalAdvance(c);
    }
    return width;
}

QSize DigitsLabel::sizeHint() const {
    return {textWidth(text_), fontMetrics().height()};
}

void DigitsLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetrics metrics = fontMetrics();
    const int digit = widestDigit(metrics);
    const int baseline = (height() - metrics.height()) / 2 + metrics.ascent();
    int x = width() - textWidth(text_);
    for (const QChar c : text_) {
        const int advance = metrics.horizontalAdvance(c);
        if (c.isDigit()) {
            // Centred in a cell as wide as the widest digit.
            painter.drawText(QPoint(x + (digit - advance) / 2, baseline), QString(c));
            x += digit;
        } else {
            painter.drawText(QPoint(x, baseline), QString(c));
            x += advance;
        }
    }
}

void DigitsLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

}  // namespace morvale::ui
