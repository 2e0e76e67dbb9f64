#pragma once

#include <QObject>
#include <QRect>

class QMenu;
class QSystemTrayIcon;

namespace morvale {
class Model;
}

namespace morvale::ui {

class ContentView;
class PanelWindow;

// The application: a tray icon showing the "slider.horizontal.3" symbol whose
// click opens the panel (a window next to the icon, not a menu). It only
// wires the tray icon, the panel window and the model together.
//
// The icon is shown from the start and stays; when no tray is there yet (a
// desktop whose panel starts after the program, at login), it is shown as
// soon as one appears. The program never ends for lack of a tray.
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
    QSystemTrayIcon* trayIcon() const { return tray_; }

    // Opens the panel next to the tray icon (or the pointer, when the tray
    // does not tell where its icon is).
    void openPanel();
    void togglePanel();

    // A menu for the tray icon's secondary click (the demo's call switch).
    void setTrayMenu(QMenu* menu);

    // Ends the program the normal way: the event loop returns and the model's
    // termination hook runs.
    static void quit();

signals:
    // A tray appeared that only a fresh start of the program can use.
    void restartRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRect anchor() const;
    void createTrayIcon();
    void updateTrayIcon();

    Model& model_;
    PanelWindow* panel_;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
};

}  // namespace morvale::ui
