// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <memory>
#include <optional>

namespace morvale::ui {

// The colour that the X11 system tray (XEmbed) asks its icons to be drawn in:
// trays built on GTK, such as Xfce's and MATE's, and bars such as i3bar's
// announce their panel's text colour on the tray's window
// (_NET_SYSTEM_TRAY_COLORS). Kept up to date while the tray changes it,
// restarts, goes or comes.
//
// It uses an X connection of its own, so that the event masks it sets on the
// tray's window do not replace those of Qt's connection.
class XEmbedTrayColors final : public QObject {
    Q_OBJECT
public:
    // display: the X display ($DISPLAY when empty). Without one, or when it
    // cannot be reached, no colour is ever known.
    explicit XEmbedTrayColors(const QByteArray& display = {}, QObject* parent = nullptr);
    ~XEmbedTrayColors() override;

    // The tray's icon colour, when a tray is there and announces one.
    std::optional<QColor> foreground() const { return foreground_; }

signals:
    void changed();

private:
    struct Connection;

    void findTray();
    void readColors();
    void processEvents();
    void setForeground(std::optional<QColor> color);

    std::unique_ptr<Connection> x_;
    std::optional<QColor> foreground_;
};

}  // namespace morvale::ui
