// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFocusFrame>
#include <QPointer>

class QAbstractButton;

// What keyboard users need in the panel besides Qt's own: a focus they can
// see, and Enter on buttons.
namespace morvale::ui {

// A ring around the control that has the keyboard focus in a panel, drawn
// just outside the control in the palette's focus colour, so that it shows on
// every control alike and in light and dark palettes.
//
// It shows while the keyboard is in use in the panel's window (a key pressed
// on the focused control, or Tab), and on the control the panel opens on until
// the user clicks or the focus moves by other means than the keyboard: a key
// pressed at once is seen to act on that control.
class FocusRing final : public QFocusFrame {
    Q_OBJECT
public:
    // Follows the focus among the descendants of panel.
    explicit FocusRing(QWidget* panel);

    // The ring is drawn (not only placed) now.
    bool isShown() const;
    // Shows the ring on control, which has (or, once its window is active,
    // will have) the focus, until it is clicked or the focus moves other than
    // by keyboard.
    void showOnOpeningControl(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* focused);
    void setKeyboardInUse(bool inUse);

    QPointer<QWidget> panel_;  // it may go first, as the panel window closes
    QPointer<QWidget> openingControl_;
};

// Enter and Return press the button while it has the focus, as Space does.
void pressOnEnter(QAbstractButton& button);

}  // namespace morvale::ui
