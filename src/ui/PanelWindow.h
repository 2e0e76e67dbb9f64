// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

class QLabel;

namespace morvale::ui {

class ContentView;

// The window that holds the panel: frameless, above other windows, as large as
// the panel, placed next to the tray icon. It closes on a click elsewhere (or
// when it loses the focus), on Escape, and on a second click on the tray icon.
//
// On Wayland the compositor places windows itself, so there it appears where
// the compositor puts it.
class PanelWindow final : public QWidget {
    Q_OBJECT
public:
    // The time now on a clock that never goes back.
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // A tray click that comes this soon after the panel closed by itself is
    // the click that closed it.
    static constexpr std::chrono::milliseconds sameClickTime{400};

    // clock: the steady clock unless a test gives its own.
    explicit PanelWindow(ContentView* content, Clock clock = {});

    ContentView* content() const { return content_; }

    // Opens the panel next to anchor (the tray icon's rectangle or the
    // pointer's position), or closes it when it is open. A click on the tray
    // icon that has just closed the panel (by a click outside it, or by taking
    // the focus away) counts as the closing click and does not open it again.
    void toggle(const QRect& anchor);
    void open(const QRect& anchor);

    // A line above the panel's content about the program itself (that it has
    // no tray icon, and how to reach it then); none while empty.
    void setNotice(const QString& text);
    QString notice() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void place();

    ContentView* content_;
    QLabel* notice_;
    QRect anchor_;
    Clock clock_;
    std::optional<std::chrono::steady_clock::time_point> closedAt_;
};

}  // namespace morvale::ui
