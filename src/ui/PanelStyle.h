#pragma once

#include <QColor>
#include <QFont>

class QPalette;
class QWidget;

namespace morvale::ui {

// The panel's text styles. Sizes are pixels at the desktop's usual 13-pixel
// body text and grow with the user's font (a larger default font scales them
// all alike).
enum class TextStyle {
    headline,      // 13, bold
    callout,       // 12
    caption,       // 10
    caption2,      // 10
    rowName,       // 12, medium
    sectionTitle,  // 12, medium
    valueText,     // 11
};

QFont panelFont(TextStyle style);

// The panel's colours, for the current palette: secondary text, and the green
// and red of status text, lighter on dark backgrounds.
bool isDark(const QPalette& palette);
QColor secondaryTextColor(const QPalette& palette);
QColor statusGreen(const QPalette& palette);
QColor statusRed(const QPalette& palette);

// The contrast ratio of two opaque colours, from 1 (the same) to 21 (black on
// white), as accessibility guidelines measure it.
double contrastRatio(const QColor& a, const QColor& b);
// The colour of the ring around the control that has the keyboard focus: the
// palette's highlight, unless that barely stands out from the window (below
// 3:1), then the text colour.
QColor focusRingColor(const QPalette& palette);

// Sets the widget's text colour (its foreground role).
void setTextColor(QWidget& widget, const QColor& color);

}  // namespace morvale::ui
