// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <optional>

#include "model/WillChange.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace morvale {
class Model;
}

namespace morvale::ui {

class ContentView;
class DesktopColorScheme;
class PanelWindow;
class XEmbedTrayColors;

// The application: a tray icon showing the "slider.horizontal.3" symbol whose
// click opens the panel (a window next to the icon, not a menu), and whose
// menu offers the panel, "Open at login" and Quit. It only wires the tray
// icon, its menu, the panel window and the model together.
//
// The icon is shown as soon as there is a tray; when there is none yet (a
// desktop whose panel starts after the program, at login), it is shown once
// one appears. When there is none at start (GNOME without its AppIndicator
// extension, for one), the panel opens once with a line that tells how to
// reach the program again. The program never ends for lack of a tray.
class MorvaleApp final : public QObject {
    Q_OBJECT
public:
    // The desktop's name for the symbolic picture of the tray icon, once
    // installed in the icon theme; tray hosts that load icons by name can then
    // recolour it to suit their panel.
    static constexpr const char* trayIconThemeName = "io.github.morvale.Morvale-symbolic";

    // allowRestart: whether the program may start itself over to reach a tray
    // that appears later (see TrayWatch).
    explicit MorvaleApp(Model& model, bool allowRestart = false, QObject* parent = nullptr);
    ~MorvaleApp() override;

    ContentView* contentView() const;
    PanelWindow* panelWindow() const { return panel_; }
    // None while there is no tray.
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // The tray icon's menu (its secondary click): Open panel, Open at login
    // and Quit. The demo puts its call switch on top.
    QMenu* trayMenu() const { return trayMenu_; }

    // Opens the panel next to the tray icon: at the activation's position when
    // the tray host gave one, else at the icon's geometry when the tray tells
    // it, else at the corner of the screen where the tray sits (never at the
    // mouse pointer, which a keyboard activation leaves anywhere).
    void openPanel();
    void togglePanel();

    // Ends the program the normal way: the event loop returns and the model's
    // termination hook runs.
    static void quit();

signals:
    // The user asked to quit (the panel's Quit or the menu's); quit() follows.
    void quitRequested();
    // A tray appeared that only a fresh start of the program can use.
    void restartRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRect anchor() const;
    void applyColorScheme();
    void createTrayMenu();
    void createTrayIcon();
    void updateTrayIcon();
    void updateTrayMenu();

    Model& model_;
    PanelWindow* panel_;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QAction* loginAction_ = nullptr;
    XEmbedTrayColors* trayColors_ = nullptr;
    DesktopColorScheme* colorScheme_;
    QTimer* menuUpdate_;
    WillChangeChannel::Subscription subscription_;
    // Where the tray host last said the icon was activated, if it said.
    std::optional<QPoint> activationPoint_;
};

}  // namespace morvale::ui
