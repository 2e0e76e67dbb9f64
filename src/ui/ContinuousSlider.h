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
// unless the slider has the keyboard focus, so that scrolling the list never
// changes a volume on the way.
class ContinuousSlider final : public QSlider {
    Q_OBJECT
public:
    ContinuousSlider(double minimum, double maximum, int steps, QWidget* parent = nullptr);

    double continuousValue() const;
    // Moves the thumb to the step nearest value, without reporting it.
    void setContinuousValue(double value);

    // The value of a step, and the step of a value (nearest, clamped).
    double valueOfStep(int step) const;
    int stepOfValue(double value) const;

signals:
    void valueEdited(double value);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    double minimum_;
    double maximum_;
    bool settingFromProgram_ = false;
};

}  // namespace morvale::ui
