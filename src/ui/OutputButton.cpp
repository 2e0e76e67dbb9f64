// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OutputButton.h"

#include <QActionGroup>
#include <QEvent>
#include <QMenu>

#include "model/Model.h"
#include "ui/Keyboard.h"
#include "ui/PanelStyle.h"
#include "ui/Symbols.h"

namespace morvale::ui {

namespace {

constexpr int buttonWidth = 16;

}  // namespace

OutputButton::OutputButton(Model& model, QWidget* parent)
    : QToolButton(parent), model_(model), menu_(new QMenu(this)) {
    setObjectName(QStringLiteral("outputButton"));
    menu_->setObjectName(QStringLiteral("outputMenu"));
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setPopupMode(QToolButton::InstantPopup);
    setMenu(menu_);
    pressOnEnter(*this);
    setFixedWidth(buttonWidth);
    setIconSize(QSize(buttonWidth, buttonWidth));
    // No menu arrow: the speaker alone, as small as the mute button.
    setStyleSheet(
        QStringLiteral("QToolButton { border: none; padding: 0; }"
                       "QToolButton::menu-indicator { image: none; width: 0; }"));
    // Filled when it opens, so that it lists the devices there are then.
    connect(menu_, &QMenu::aboutToShow, this, &OutputButton::fillMenu);
    applyColors();
}

void OutputButton::showOutput(const std::string& key, const QString& appName) {
    key_ = key;
    appName_ = appName;
    const QString text = describe();
    if (text == outputText_ && accessibleName().contains(appName)) {
        return;  // each setting is announced to assistive technology
    }
    outputText_ = text;
    //: %1 is an application, %2 the output it plays on.
    const QString spoken = tr("Output for %1: %2").arg(appName, text);
    setAccessibleName(spoken);
    setToolTip(spoken);
}

QString OutputButton::deviceName(const std::string& uid) const {
    for (const Model::OutputDevice& device : model_.outputDevices()) {
        if (device.uid == uid) {
            return QString::fromStdString(device.name);
        }
    }
    return {};
}

QString OutputButton::describe() const {
    const auto chosen = model_.chosenOutput(key_);
    if (chosen && deviceName(*chosen).isEmpty()) {
        //: A chosen output that is not connected now; %1 is its name.
        return tr("%1 (absent)").arg(QString::fromStdString(*chosen));
    }
    const auto playing = model_.playingOutput(key_);
    // Another mixer's move is shown as it is: where the application plays.
    if (playing && playing != chosen && (chosen || playing != model_.defaultOutput())) {
        if (const QString name = deviceName(*playing); !name.isEmpty()) {
            return name;
        }
    }
    if (!chosen) {
        return tr("System default");
    }
    return deviceName(*chosen);
}

void OutputButton::fillMenu() {
    menu_->clear();
    auto* group = new QActionGroup(menu_);
    const auto chosen = model_.chosenOutput(key_);
    const auto add = [&](const QString& text, std::optional<std::string> uid, bool enabled) {
        QAction* action = menu_->addAction(text);
        action->setCheckable(true);
        action->setChecked(uid == chosen);
        action->setEnabled(enabled);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, uid] {
            model_.setOutput(key_, uid);
            showOutput(key_, appName_);
        });
    };
    add(tr("System default"), std::nullopt, true);
    bool chosenListed = !chosen;
    for (const Model::OutputDevice& device : model_.outputDevices()) {
        add(QString::fromStdString(device.name), device.uid, true);
        chosenListed = chosenListed || device.uid == *chosen;
    }
    if (!chosenListed) {
        add(tr("%1 (absent)").arg(QString::fromStdString(*chosen)), chosen, false);
    }
}

void OutputButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
    QToolButton::changeEvent(event);
}

void OutputButton::applyColors() {
    setIcon(symbolIcon(QStringLiteral("hifispeaker.fill"), secondaryTextColor(palette())));
}

}  // namespace morvale::ui
