// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Keyboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>

#include "ui/PanelStyle.h"

namespace morvale::ui {

namespace {

constexpr int ringMargin = 3;  // outside the control
constexpr qreal ringWidth = 2.0;
constexpr qreal ringRadius = 4.0;

// Where Qt puts a focus frame: above the control rather than under it (the
// ring goes round the control, never behind it), ringMargin outside, without
// a mask (the ring paints its edge only).
class RingPlacement final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        switch (hint) {
            case SH_FocusFrame_AboveWidget:
                return 1;
            case SH_FocusFrame_Mask:
                return 0;
            default:
                return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_FocusFrameHMargin || metric == PM_FocusFrameVMargin) {
            return ringMargin;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QStyle* ringPlacement() {
    static QStyle* const style = [] {
        auto* placement = new RingPlacement;
        placement->setParent(qApp);
        return placement;
    }();
    return style;
}

class EnterPresses final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return false;
        }
        // A held key presses once.
        if (!key->isAutoRepeat()) {
            static_cast<QAbstractButton*>(watched)->click();
        }
        return true;
    }
};

}  // namespace

FocusRing::FocusRing(QWidget* panel) : QFocusFrame(panel), panel_(panel) {
    setObjectName(QStringLiteral("focusRing"));
    setStyle(ringPlacement());
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* focused) { follow(focused); });
    follow(QApplication::focusWidget());
}

bool FocusRing::isShown() const {
    const QWidget* control = widget();
    return control != nullptr && control->hasFocus() && isVisible() && panel_ != nullptr &&
           (panel_->window()->testAttribute(Qt::WA_KeyboardFocusChange) ||
            control == openingControl_);
}

void FocusRing::showOnOpeningControl(QWidget* control) {
    openingControl_ = control;
    follow(control);
}

void FocusRing::follow(QWidget* focused) {
    if (focused != openingControl_) {
        openingControl_ = nullptr;
    }
    const bool inPanel = focused != nullptr && panel_ != nullptr && panel_->isAncestorOf(focused);
    setWidget(inPanel ? focused : nullptr);
    update();
}

void FocusRing::setKeyboardInUse(bool inUse) {
    if (panel_ == nullptr) {
        return;
    }
    QWidget* window = panel_->window();
    if (window->testAttribute(Qt::WA_KeyboardFocusChange) != inUse) {
        window->setAttribute(Qt::WA_KeyboardFocusChange, inUse);
        update();
    }
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget()) {
        if (event->type() == QEvent::KeyPress) {
            setKeyboardInUse(true);
        } else if (event->type() == QEvent::MouseButtonPress) {
            openingControl_ = nullptr;
            setKeyboardInUse(false);
        }
    }
    return QFocusFrame::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent*) {
    if (!isShown()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(focusRingColor(palette()), ringWidth));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = ringWidth / 2;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), ringRadius,
                            ringRadius);
}

void pressOnEnter(QAbstractButton& button) {
    button.installEventFilter(new EnterPresses(&button));
}

}  // namespace morvale::ui
