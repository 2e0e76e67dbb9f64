// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Accessibility.h"

#include <QAccessibleApplication>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QApplication>
#include <QLabel>

#include "ui/AtSpiValueText.h"
#include "ui/ContinuousSlider.h"
#include "ui/PanelWindow.h"
#include "ui/RowGlyphs.h"
#include "ui/TextWidgets.h"

namespace morvale::ui {

namespace {

constexpr const char* labelledByProperty = "morvaleLabelledBy";
constexpr const char* labelForProperty = "morvaleLabelFor";
constexpr const char* alertLineProperty = "morvaleAlertLine";

using Relations = QList<QPair<QAccessibleInterface*, QAccessible::Relation>>;

// Adds the relation to the widget that the property names, when asked for.
void addRelation(Relations& relations, const QWidget& widget, const char* property,
                 QAccessible::Relation relation, QAccessible::Relation match) {
    if (!(match & relation)) {
        return;
    }
    if (auto* other = widget.property(property).value<QObject*>()) {
        if (QAccessibleInterface* interface = QAccessible::queryAccessibleInterface(other)) {
            relations.append({interface, relation});
        }
    }
}

// A text the panel paints itself: its accessible name is its text.
class PaintedTextAccessible final : public QAccessibleWidget {
public:
    explicit PaintedTextAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::StaticText) {}

    Relations relations(QAccessible::Relation match) const override {
        Relations all = QAccessibleWidget::relations(match);
        addRelation(all, *widget(), labelForProperty, QAccessible::Labelled, match);
        return all;
    }
};

class SliderAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SliderAccessible(ContinuousSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Value ? slider().spokenText() : QAccessibleWidget::text(type);
    }

    Relations relations(QAccessible::Relation match) const override {
        Relations all = QAccessibleWidget::relations(match);
        addRelation(all, *widget(), labelledByProperty, QAccessible::Label, match);
        return all;
    }

    QVariant currentValue() const override { return spoken(slider().value()); }
    QVariant minimumValue() const override { return spoken(slider().minimum()); }
    QVariant maximumValue() const override { return spoken(slider().maximum()); }
    QVariant minimumStepSize() const override { return spoken(slider().singleStep()) - spoken(0); }
    void setCurrentValue(const QVariant& value) override {
        // As if the user moved it: the change reaches the model.
        slider().setValue(slider().stepOfSpokenValue(value.toDouble()));
    }

private:
    ContinuousSlider& slider() const { return *static_cast<ContinuousSlider*>(widget()); }
    double spoken(int step) const { return slider().spokenValueOfStep(step); }
};

// The line of problems: a notification, which screen readers present as it
// appears; its name is its text.
class AlertLineAccessible final : public QAccessibleWidget {
public:
    explicit AlertLineAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name) {
            return static_cast<QLabel*>(widget())->text();
        }
        return QAccessibleWidget::text(type);
    }
};

// Qt's application lists its top-level windows but not popups; the panel is
// one on X11 and must still be found with its controls.
class ApplicationAccessible final : public QAccessibleApplication {
public:
    int childCount() const override {
        return QAccessibleApplication::childCount() + static_cast<int>(shownPopups().size());
    }

    QAccessibleInterface* child(int index) const override {
        const int windows = QAccessibleApplication::childCount();
        if (index < windows) {
            return QAccessibleApplication::child(index);
        }
        const QWidgetList popups = shownPopups();
        return index - windows < popups.size()
                   ? QAccessible::queryAccessibleInterface(popups.at(index - windows))
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (const int index = QAccessibleApplication::indexOfChild(child); index >= 0) {
            return index;
        }
        const auto popup = shownPopups().indexOf(child != nullptr ? child->object() : nullptr);
        return popup < 0 ? -1 : QAccessibleApplication::childCount() + static_cast<int>(popup);
    }

private:
    static QWidgetList shownPopups() {
        QWidgetList popups;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->windowType() == Qt::Popup && window->isVisible() &&
                qobject_cast<PanelWindow*>(window) != nullptr) {
                popups.append(window);
            }
        }
        return popups;
    }
};

QAccessibleInterface* panelInterface(const QString&, QObject* object) {
    // Called for each class of the object's, most derived first: the first
    // answer counts.
    if (object == qApp) {
        return new ApplicationAccessible;
    }
    if (!object->isWidgetType()) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (auto* slider = qobject_cast<ContinuousSlider*>(widget)) {
        return new SliderAccessible(slider);
    }
    if (qobject_cast<PanelWindow*>(widget) != nullptr) {
        return new QAccessibleWidget(widget, QAccessible::Window);
    }
    if (qobject_cast<ElidedLabel*>(widget) != nullptr ||
        qobject_cast<DigitsLabel*>(widget) != nullptr || qobject_cast<Dot*>(widget) != nullptr) {
        return new PaintedTextAccessible(widget);
    }
    if (qobject_cast<AppIconView*>(widget) != nullptr) {
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    }
    if (auto* line = qobject_cast<QFrame*>(widget);
        line != nullptr && line->frameShape() == QFrame::HLine) {
        return new QAccessibleWidget(widget, QAccessible::Separator);  // not a "frame"
    }
    if (auto* label = qobject_cast<QLabel*>(widget);
        label != nullptr && label->property(alertLineProperty).toBool()) {
        return new AlertLineAccessible(label);
    }
    return nullptr;
}

}  // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(panelInterface);
        installAtSpiValueText();
        return true;
    }();
    (void)installed;
}

void setLabelledBy(QWidget& control, QWidget& label) {
    control.setProperty(labelledByProperty, QVariant::fromValue<QObject*>(&label));
    label.setProperty(labelForProperty, QVariant::fromValue<QObject*>(&control));
}

void makeAlertLine(QLabel& label) {
    label.setProperty(alertLineProperty, true);
}

void announce(QLabel& label) {
    // A line that already shows appears anew, so that screen readers present
    // it again; but one that has the focus keeps it, and its new name is read.
    if (label.isVisible() && !label.hasFocus()) {
        label.hide();
    }
    label.show();
    QAccessibleEvent alert(&label, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

}  // namespace morvale::ui
