// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSlider>

namespace morvale::ui {

// A horizontal slider for a continuous value from min to max. Qt's sliders
// hold integers, so the range is divided into fine steps (10000 by default)
// and the value reported is step × (max − min) / steps + min: for 0 to 1 every
// multiple of 0.0001 is exact from the user's point of view.
//
// Only the user's changes are reported (valueEdited); setting the position
// from the program is silent. The wheel is left to the panel's scrolling
// unless the user chose this slider (clicked it, or reached it by keyboard),
// so that scrolling the list never changes a volume on the way, not even that
// of the slider the panel puts the focus on when it opens.
class ContinuousSlider final : public QSlider {
    Q_OBJECT
public:
    // How a value is written for people: "50%", "+6 dB".
    using ValueText = QString (*)(double value);

    ContinuousSlider(double minimum, double maximum, int steps, QWidget* parent = nullptr);

    double continuousValue() const;
    // Moves the thumb to the step nearest value, without reporting it.
    void setContinuousValue(double value);

    // The value of a step, and the step of a value (nearest, clamped).
    double valueOfStep(int step) const;
    int stepOfValue(double value) const;

    // How far an arrow key and a page key move the thumb, in the value's units.
    void setKeySteps(double arrow, double page);

    // The value as assistive technology tells it: as a number in units of
    // value × scale (a volume from 0 to 1 as a percentage: scale 100), and as
    // text. Without it, the value itself.
    void setSpokenValue(double scale, ValueText text);
    double spokenValueOfStep(int step) const;
    int stepOfSpokenValue(double spoken) const;
    QString spokenText() const;

    // A muted slider stays where unmuting returns to, drawn in grey instead
    // of the highlight colour, and tells assistive technology "muted" before
    // its value. Moving it is still a change of value.
    void setMuted(bool muted);
    bool isMuted() const { return muted_; }

signals:
    void valueEdited(double value);

protected:
    void initStyleOption(QStyleOptionSlider* option) const override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    double minimum_;
    double maximum_;
    double spokenScale_ = 1.0;
    ValueText spokenText_ = nullptr;
    bool settingFromProgram_ = false;
    bool pressedSinceFocus_ = false;
    bool muted_ = false;
};

}  // namespace morvale::ui
