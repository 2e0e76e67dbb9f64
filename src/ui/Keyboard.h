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
// It shows once the keyboard is in use in the panel's window (a key pressed on
// the focused control, or Tab) and hides again when that control is clicked,
// so that a mouse user sees the panel as it always was.
class FocusRing final : public QFocusFrame {
    Q_OBJECT
public:
    // Follows the focus among the descendants of panel.
    explicit FocusRing(QWidget* panel);

    // The ring is drawn (not only placed) now.
    bool isShown() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* focused);
    void setKeyboardInUse(bool inUse);

    QPointer<QWidget> panel_;  // it may go first, as the panel window closes
};

// Enter and Return press the button while it has the focus, as Space does.
void pressOnEnter(QAbstractButton& button);

}  // namespace morvale::ui
