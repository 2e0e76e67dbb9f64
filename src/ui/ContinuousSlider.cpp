#include "ui/ContinuousSlider.h"

#include <QWheelEvent>
#include <algorithm>
#include <cmath>

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

void ContinuousSlider::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

}  // namespace morvale::ui
