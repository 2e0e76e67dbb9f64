#include "ui/PanelStyle.h"

#include <QApplication>
#include <QFontInfo>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace morvale::ui {

namespace {

constexpr double bodyPixels = 13.0;

QFont sized(double pixels, QFont::Weight weight) {
    QFont font = QApplication::font();
    const double scale = QFontInfo(font).pixelSize() / bodyPixels;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels * scale))));
    font.setWeight(weight);
    return font;
}

}  // namespace

QFont panelFont(TextStyle style) {
    switch (style) {
        case TextStyle::headline:
            return sized(13, QFont::Bold);
        case TextStyle::callout:
            return sized(12, QFont::Normal);
        case TextStyle::caption:
        case TextStyle::caption2:
            return sized(10, QFont::Normal);
        case TextStyle::rowName:
        case TextStyle::sectionTitle:
            return sized(12, QFont::Medium);
        case TextStyle::valueText:
            return sized(11, QFont::Normal);
    }
    return QApplication::font();
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QColor secondaryTextColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(isDark(palette) ? 0.55f : 0.5f);
    return color;
}

QColor statusGreen(const QPalette& palette) {
    return isDark(palette) ? QColor(0x30, 0xd1, 0x58) : QColor(0x28, 0xa7, 0x45);
}

QColor statusRed(const QPalette& palette) {
    return isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xd7, 0x00, 0x15);
}

namespace {

double relativeLuminance(const QColor& color) {
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor focusRingColor(const QPalette& palette) {
    constexpr double enough = 3.0;
    const QColor window = palette.color(QPalette::Window);
    const QColor highlight = palette.color(QPalette::Highlight);
    return contrastRatio(highlight, window) >= enough ? highlight
                                                      : palette.color(QPalette::WindowText);
}

void setTextColor(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    palette.setColor(widget.foregroundRole(), color);
    widget.setPalette(palette);
}

}  // namespace morvale::ui
