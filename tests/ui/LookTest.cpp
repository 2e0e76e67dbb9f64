// SPDX-License-Identifier: GPL-3.0-or-later
// Where the panel goes and how the tray icon looks, without a window.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <optional>

#include "ui/PanelPlacement.h"
#include "ui/PanelStyle.h"
#include "ui/Symbols.h"
#include "ui/TrayIconLook.h"

namespace morvale::ui {
namespace {

// clang-format off
const QRect screen(0, 0, 1920, 1080);
const QSize panelSize(320, 400);

TEST(PanelPlacement, HangsOffTheIconAndStaysOnTheScreen) {
    const struct { const char* where; QRect available, anchor; QPoint position; } cases[] = {
        {"top bar: below the icon, centred", {0, 32, 1920, 1048}, {1000, 4, 24, 24}, {851, 32}},
        {"top bar, right end: to the edge", {0, 32, 1920, 1048}, {1890, 4, 24, 24}, {1600, 32}},
        {"bottom panel: above the icon", {0, 0, 1920, 1040}, {1800, 1048, 24, 24}, {1600, 640}},
        {"left panel: beside, level with it", {48, 0, 1872, 1080}, {12, 500, 24, 24}, {48, 528}},
        {"the pointer, without an icon", screen, {600, 300, 1, 1}, {440, 305}},
        {"taller than the room: top on screen", {0, 0, 1920, 300}, {900, 250, 24, 24}, {751, 0}}};
    for (const auto& c : cases) {
        EXPECT_EQ(panelPosition(c.anchor, panelSize, c.available), c.position) << c.where;
    }
}

TEST(PanelPlacement, WithoutAClickGoesToTheTraysCorner) {
    const auto rtl = Qt::RightToLeft, ltr = Qt::LeftToRight;
    const struct { const char* desktop; QRect screen, available; Qt::LayoutDirection direction;
                   QPoint position; } cases[] = {
        {"bottom panel", screen, {0, 0, 1920, 1040}, ltr, {1600, 636}},
        {"bottom panel, right to left", screen, {0, 0, 1920, 1040}, rtl, {0, 636}},
        {"top bar", screen, {0, 32, 1920, 1048}, ltr, {1600, 36}},
        {"top bar, dock on the left", screen, {64, 32, 1856, 1048}, ltr, {1600, 36}},
        {"top bar, thicker bottom panel", screen, {0, 26, 1920, 1006}, ltr, {1600, 628}},
        {"panel on the right edge", screen, {0, 0, 1872, 1080}, ltr, {1552, 675}},
        {"panel on the left edge", screen, {48, 0, 1872, 1080}, ltr, {48, 675}},
        {"no panel reserves room", screen, screen, ltr, {1600, 5}},
        {"second screen", {1920, 0, 1920, 1080}, {1920, 0, 1920, 1040}, ltr, {3520, 636}}};
    for (const auto& c : cases) {
        const QRect corner = trayCorner(c.screen, c.available, c.direction);
        EXPECT_EQ(panelPosition(corner, panelSize, c.available), c.position) << c.desktop;
    }
}
// clang-format on

const QColor lightPanel(0xef, 0xf0, 0xf1), darkPanel(0x2b, 0x2b, 0x2b);

// The share of the pixels of an icon, as the tray shows it on the panel's
// background, that stand out from the panel at 4.5:1.
double standingOut(const QIcon& icon, const QColor& panel) {
    QImage image(22, 22, QImage::Format_RGB32);
    image.fill(panel);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        icon.paint(&painter, image.rect());
    }
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += contrastRatio(image.pixelColor(x, y), panel) >= 4.5 ? 1 : 0;
        }
    }
    return static_cast<double>(count) / (image.width() * image.height());
}

TEST(TrayIcon, StandsOutOnLightAndDarkPanels) {
    QPalette light, dark;
    light.setColor(QPalette::WindowText, QColor(0x23, 0x26, 0x29));
    dark.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2e, 0x32));
    const std::optional<QColor> unsaid, saysLight(QColor(0xee, 0xee, 0xec)),
        saysDark(QColor(0x2e, 0x34, 0x36));
    // Nothing says what the panel looks like: it may differ from the windows.
    // A tray that announces its text colour (Xfce's dark and light themes)
    // may still put the icon on a black square of its own.
    // clang-format off
    const struct { std::optional<QColor> trayForeground; QPalette desktop; QColor panel; } cases[] = {
        {unsaid, light, lightPanel}, {unsaid, light, darkPanel}, {unsaid, light, Qt::black},
        {unsaid, dark, darkPanel}, {unsaid, dark, lightPanel}, {unsaid, dark, Qt::white},
        {saysLight, light, darkPanel}, {saysDark, dark, lightPanel}, {saysDark, light, Qt::black}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.panel.name().toStdString() + " panel, desktop text " +
                     c.desktop.color(QPalette::WindowText).name().toStdString());
        const TrayIconLook look = trayIconLook(c.trayForeground, c.desktop);
        const QIcon icon = symbolIcon("slider.horizontal.3", look.glyph, {}, look.outline);
        // The plain drawing covers about a third of its square.
        EXPECT_GE(standingOut(icon, c.panel), 0.2);
    }
}

}  // namespace
}  // namespace morvale::ui
