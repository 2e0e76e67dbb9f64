// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QTimer;

namespace morvale::ui {

// Watches for a system tray to appear while the program has none, as happens
// at login when the desktop's panel starts after the program.
//
// Qt docks the icon into an X11 tray (XEmbed) that appears later once the icon
// is created again. A tray reached over D-Bus (StatusNotifierItem, the usual
// one on Wayland and with GNOME's AppIndicator extension) is another matter:
// Qt up to 6.4 decides once per process, at the first tray icon, whether that
// service is there, and never looks again. When the service appears and Qt
// still sees no tray, only a fresh start of the program can use it.
class TrayWatch final : public QObject {
    Q_OBJECT
public:
    // allowRestart: false when this process is already such a fresh start, so
    // that a tray service Qt cannot use does not start the program over and
    // over.
    TrayWatch(bool allowRestart, QObject* parent = nullptr);

    // Starts watching unless a tray is there.
    void start();

    // How long the D-Bus tray service may take before Qt must have seen it.
    static constexpr int serviceGraceMs = 3000;

signals:
    // A tray is there now: create the tray icon again to dock it.
    void trayAppeared();
    // The D-Bus tray service appeared but Qt cannot use it in this process.
    void restartNeeded();

private:
    void check();
    void onServiceRegistered();

    bool allowRestart_;
    QTimer* poll_;
    QTimer* grace_;
};

}  // namespace morvale::ui
