// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PanelStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace morvale::ui {

namespace {

int pixelSize(const QFont& font) {
    return QFontInfo(font).pixelSize();
}

QFont sized(const QFont& body, double pixels, QFont::Weight weight) {
    QFont font = body;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    font.setWeight(weight);
    return font;
}

}  // namespace

QFont panelFont(TextStyle style, const QFont& body, const QFont& smallest) {
    const double bodyPixels = pixelSize(body);
    switch (style) {
        case TextStyle::headline:
            return sized(body, bodyPixels * 1.15, QFont::Bold);
        case TextStyle::caption:
        case TextStyle::caption2: {
            // A "smallest" font larger than the body is no real hint (platforms
            // without one answer their default font): captions stay at most
            // body size.
            const double least = std::min(bodyPixels, double(pixelSize(smallest)));
            return sized(body, std::max(bodyPixels * 0.9, least), QFont::Normal);
        }
        case TextStyle::rowName:
        case TextStyle::sectionTitle:
            return sized(body, bodyPixels, QFont::Medium);
        case TextStyle::callout:
        case TextStyle::valueText:
            break;
    }
    return sized(body, bodyPixels, QFont::Normal);
}

QFont panelFont(TextStyle style) {
    return panelFont(style, QApplication::font(),
                     QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QColor secondaryTextColor(const QPalette& palette) {
    // Half way to the window colour, then back as far as reading needs.
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    const QColor halfway((text.red() + window.red()) / 2, (text.green() + window.green()) / 2,
                         (text.blue() + window.blue()) / 2);
    return readableOn(halfway, window, panelTextContrast);
}

QColor statusGreen(const QPalette& palette) {
    const QColor green = isDark(palette) ? QColor(0x30, 0xd1, 0x58) : QColor(0x28, 0xa7, 0x45);
    return readableOn(green, palette.color(QPalette::Window), panelTextContrast);
}

QColor statusRed(const QPalette& palette) {
    const QColor red = isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xd7, 0x00, 0x15);
    return readableOn(red, palette.color(QPalette::Window), panelTextContrast);
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

QColor readableOn(const QColor& color, const QColor& background, double ratio) {
    const QColor from = color.toRgb();
    const QColor to = relativeLuminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    // In whole 8-bit channels, as the colour is drawn.
    const auto mix = [&](double share) {
        const auto channel = [share](int a, int b) {
            return static_cast<int>(std::lround(a + (b - a) * share));
        };
        return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                      channel(from.blue(), to.blue()));
    };
    // The contrast grows with the share of black or white: the least share
    // that is enough, to a 1/256 step.
    if (contrastRatio(mix(0), background) >= ratio) {
        return mix(0);
    }
    int low = 0, high = 256;
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        (contrastRatio(mix(middle / 256.0), background) >= ratio ? high : low) = middle;
    }
    return mix(high / 256.0);
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
