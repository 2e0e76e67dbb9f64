// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QToolButton>
#include <string>

class QMenu;

namespace morvale {
class Model;
}

namespace morvale::ui {

// A row's output: a small button with a speaker that opens a menu of the
// outputs ("System default" first, then each device by its name) and sends
// the row's application to the one picked. It says which output the
// application plays on: the one chosen, the one another mixer moved it to,
// or the chosen one marked as absent while it is not there. Space, Enter and
// the arrow keys work it as any menu button.
class OutputButton final : public QToolButton {
    Q_OBJECT
public:
    explicit OutputButton(Model& model, QWidget* parent = nullptr);

    // Shows the output of the key's application; appName names it to
    // assistive technology ("Output for Firefox: Headphones").
    void showOutput(const std::string& key, const QString& appName);
    // The output it shows, as words.
    QString outputText() const { return outputText_; }
    QMenu* outputMenu() const { return menu_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void fillMenu();
    QString describe() const;
    QString deviceName(const std::string& uid) const;
    void applyColors();

    Model& model_;
    std::string key_;
    QString appName_;
    QString outputText_;
    QMenu* menu_;
};

}  // namespace morvale::ui
