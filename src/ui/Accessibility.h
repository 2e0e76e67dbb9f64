// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QLabel;
class QWidget;

namespace morvale::ui {

// Gives the panel's own widgets what assistive technology needs: roles for the
// labels and pictures the panel paints itself, sliders that tell their value
// as people read it ("50%", "+6 dB"), labelled-by relations, and a place for
// the panel window in the application's tree also where it is a popup (which
// Qt leaves out). Call once, right after the application object is made.
void installAccessibility();

// label names control for assistive technology (a labelled-by relation). The
// two must live and die together, as the parts of one row do.
void setLabelledBy(QWidget& control, QWidget& label);

// The label is where problems appear: assistive technology presents it as a
// notification when it shows. announce() shows it with its new text so that
// it is presented again.
void makeAlertLine(QLabel& label);
void announce(QLabel& label);

}  // namespace morvale::ui
