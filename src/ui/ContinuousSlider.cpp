// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ContinuousSlider.h"

#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ui/PanelStyle.h"

namespace morvale::ui {

ContinuousSlider::ContinuousSlider(double minimum, double maximum, int steps, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), minimum_(minimum), maximum_(maximum) {
    setRange(0, steps);
    setSingleStep(steps / 100);
    setPageStep(steps / 10);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::valueChanged, this, [this](int step) {
        if (!settingFromProgram_) {
            emit valueEdited(valueOfStep(step));
        }
    });
}

double ContinuousSlider::valueOfStep(int step) const {
    // Division last, so that step/steps of 0..1 is the correctly rounded
    // quotient (3330 gives exactly the double nearest 0.333).
    return minimum_ + (maximum_ - minimum_) * step / maximum();
}

int ContinuousSlider::stepOfValue(double value) const {
    if (std::isnan(value)) {
        return 0;
    }
    const double step = std::round((value - minimum_) / (maximum_ - minimum_) * maximum());
    return static_cast<int>(std::clamp(step, 0.0, static_cast<double>(maximum())));
}

double ContinuousSlider::continuousValue() const {
    return valueOfStep(value());
}

void ContinuousSlider::setContinuousValue(double value) {
    settingFromProgram_ = true;
    setValue(stepOfValue(value));
    settingFromProgram_ = false;
}

void ContinuousSlider::setKeySteps(double arrow, double page) {
    setSingleStep(stepOfValue(minimum_ + arrow));
    setPageStep(stepOfValue(minimum_ + page));
}

void ContinuousSlider::setSpokenValue(double scale, ValueText text) {
    spokenScale_ = scale;
    spokenText_ = text;
}

double ContinuousSlider::spokenValueOfStep(int step) const {
    // Scaled before the division, so that whole percentages come out whole.
    return minimum_ * spokenScale_ + (maximum_ - minimum_) * spokenScale_ * step / maximum();
}

int ContinuousSlider::stepOfSpokenValue(double spoken) const {
    return stepOfValue(spoken / spokenScale_);
}

QString ContinuousSlider::spokenText() const {
    const QString value = spokenText_ != nullptr
                              ? spokenText_(continuousValue())
                              : QString::number(spokenValueOfStep(this->value()));
    //: What a screen reader says of a muted volume slider; %1 is the volume
    //: that unmuting returns to, such as 50%.
    return muted_ ? tr("muted, %1").arg(value) : value;
}

void ContinuousSlider::setMuted(bool muted) {
    if (muted != muted_) {
        muted_ = muted;
        update();
    }
}

void ContinuousSlider::initStyleOption(QStyleOptionSlider* option) const {
    QSlider::initStyleOption(option);
    if (muted_) {
        // Styles fill the groove up to the thumb in the highlight colour.
        option->palette.setColor(QPalette::Highlight, secondaryTextColor(option->palette));
    }
}

void ContinuousSlider::focusOutEvent(QFocusEvent* event) {
    pressedSinceFocus_ = false;
    QSlider::focusOutEvent(event);
}

void ContinuousSlider::mousePressEvent(QMouseEvent* event) {
    pressedSinceFocus_ = true;
    QSlider::mousePressEvent(event);
}

void ContinuousSlider::wheelEvent(QWheelEvent* event) {
    // The window marks that the keyboard is in use (Qt on Tab, the panel on
    // any key), which is when a focused slider counts as reached by keyboard.
    const bool chosen = pressedSinceFocus_ || window()->testAttribute(Qt::WA_KeyboardFocusChange);
    if (!hasFocus() || !chosen) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

}  // namespace morvale::ui
