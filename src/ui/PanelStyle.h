// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>

class QPalette;
class QWidget;

namespace morvale::ui {

// The panel's text styles, from the desktop's fonts: its body font (the
// application font) for names, values and controls, a larger bold one for the
// title, and for captions a little below the body but never below the
// desktop's smallest readable font.
enum class TextStyle {
    headline,      // body × 1.15, bold
    callout,       // body
    caption,       // body × 0.9, at least the smallest readable size
    caption2,      // as caption
    rowName,       // body, medium
    sectionTitle,  // body, medium
    valueText,     // body
};

QFont panelFont(TextStyle style);
// The same from given fonts: the body font and the smallest readable one.
QFont panelFont(TextStyle style, const QFont& body, const QFont& smallest);

// The panel's colours, for the current palette: secondary text, and the green
// and red of status text, lighter on dark backgrounds. Each stands out from
// the palette's window colour by at least readableContrast, as small text
// needs to be read, with room for the glyphs' smoothed edges: the colour
// itself by panelTextContrast.
inline constexpr double readableContrast = 4.5;
inline constexpr double panelTextContrast = 5.0;
bool isDark(const QPalette& palette);
QColor secondaryTextColor(const QPalette& palette);
QColor statusGreen(const QPalette& palette);
QColor statusRed(const QPalette& palette);

// The contrast ratio of two opaque colours, from 1 (the same) to 21 (black on
// white), as accessibility guidelines measure it.
double contrastRatio(const QColor& a, const QColor& b);
// color, moved towards black or white (whichever is further from
// background) just as far as it takes to stand out from background by ratio;
// opaque.
QColor readableOn(const QColor& color, const QColor& background, double ratio = readableContrast);
// The colour of the ring around the control that has the keyboard focus: the
// palette's highlight, unless that barely stands out from the window (below
// 3:1), then the text colour.
QColor focusRingColor(const QPalette& palette);

// Sets the widget's text colour (its foreground role).
void setTextColor(QWidget& widget, const QColor& color);

}  // namespace morvale::ui
