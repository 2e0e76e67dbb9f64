// How the panel and the tray icon look and where the panel goes: texts,
// colours and positions, without a window.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>
#include <functional>
#include <limits>
#include <optional>

#include "ui/Formatting.h"
#include "ui/PanelPlacement.h"
#include "ui/PanelStyle.h"
#include "ui/Symbols.h"
#include "ui/TrayIconLook.h"

namespace morvale::ui {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();

// clang-format off
TEST(Formatting, RoundsHalvesAwayFromZeroAndClampsToTheIntegerRange) {
    const std::pair<double, std::int64_t> cases[] = {
        {0.5, 1}, {-0.5, -1}, {1.49, 1}, {2.5, 3}, {-2.5, -3}, {12.49, 12}, {0.0, 0}, {nan, 0},
        {inf, int64Max}, {1e30, int64Max}, {-inf, int64Min}, {-9223372036854775808.0, int64Min}};
    for (const auto& [value, rounded] : cases) {
        EXPECT_EQ(roundHalfAwayFromZero(value), rounded) << value;
    }
}

TEST(Formatting, BoostTextIsOffBelowHalfADecibel) {
    const std::pair<double, const char*> cases[] = {
        {0, "Off"}, {0.49, "Off"}, {-3, "Off"}, {nan, "Off"}, {-inf, "Off"}, {0.5, "+1 dB"},
        {12.5, "+13 dB"}, {30, "+30 dB"}, {inf, "+9223372036854775807 dB"}};
    for (const auto& [decibels, text] : cases) {
        EXPECT_EQ(boostText(decibels).toStdString(), text) << decibels;
    }
}

TEST(Formatting, PercentageAndSpeakerFollowTheVolume) {
    const char *muted = "speaker.slash.fill", *low = "speaker.wave.1.fill",
               *high = "speaker.wave.2.fill";
    const struct { double volume; const char *percent, *symbol; } cases[] = {
        {0.0, "0%", muted}, {-0.0, "0%", muted}, {0.004, "0%", low},  // not exactly 0: audible
        {0.005, "1%", low}, {0.4999, "50%", low}, {0.5, "50%", high}, {1.0, "100%", high},
        {1.5, "150%", high}};
    for (const auto& c : cases) {
        EXPECT_EQ(percentText(c.volume).toStdString(), c.percent) << c.volume;
        EXPECT_STREQ(muteSymbolName(c.volume), c.symbol) << c.volume;
    }
}

TEST(PanelStyle, TheFocusRingStandsOutFromThePanel) {
    const QColor light(0xef, 0xef, 0xef), dark(0x2a, 0x2e, 0x32), blue(0x30, 0x8c, 0xc6),
        sky(0x3d, 0xae, 0xe9);
    const struct { QColor window, text, highlight, ring; } cases[] = {
        {light, Qt::black, blue, blue}, {dark, Qt::white, sky, sky},
        // A highlight that barely differs from the window: the text colour.
        {dark, Qt::white, QColor(0x1e, 0x40, 0x60), Qt::white}};
    for (const auto& c : cases) {
        QPalette palette;
        palette.setColor(QPalette::Window, c.window);
        palette.setColor(QPalette::WindowText, c.text);
        palette.setColor(QPalette::Highlight, c.highlight);
        EXPECT_EQ(focusRingColor(palette), c.ring) << c.highlight.name().toStdString();
    }
    EXPECT_DOUBLE_EQ(contrastRatio(Qt::black, Qt::white), 21.0);
}

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

// The icon as the tray shows it, on the panel's background.
QImage onPanel(const std::function<void(QPainter&, const QRect&)>& draw, const QColor& panel) {
    QImage image(22, 22, QImage::Format_RGB32);
    image.fill(panel);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, image.rect());
    return image;
}

// The share of the pixels that stand out from the panel at 4.5:1.
double standingOut(const QImage& image, const QColor& panel) {
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
        const QImage shown =
            onPanel([&](QPainter& p, const QRect& r) { icon.paint(&p, r); }, c.panel);
        EXPECT_GE(standingOut(shown, c.panel), 0.2);
    }
}

// Hosts that load the icon by name recolour it to their panel's text colour:
// KDE by its colour-scheme style sheet, GTK (Xfce, GNOME's AppIndicator
// extension) by overriding the fill of every shape and leaving the rest as
// the file has it. Either way all of the drawing must take the new colour, or
// parts of it stay dark on a dark panel.
TEST(TrayIcon, RecolouringHostsRecolourAllOfIt) {
    QFile file(":/symbols/slider.horizontal.3.svg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray symbolic = file.readAll(), fileColor = "#232629", text = "#eeeeec";
    ASSERT_TRUE(symbolic.contains(".ColorScheme-Text { color:" + fileColor));
    const auto render = [](const QByteArray& svg) {
        return onPanel([&](QPainter& p, const QRect& r) { QSvgRenderer(svg).render(&p, r); },
                       darkPanel);
    };
    const QImage allOfIt = render(QByteArray(symbolic).replace("currentColor", text));
    const QByteArray kde = QByteArray(symbolic).replace("color:" + fileColor, "color:" + text);
    const QByteArray gtk = QByteArray(symbolic)
                               .replace("fill:currentColor", "fill:" + text)
                               .replace("currentColor", fileColor);
    EXPECT_EQ(render(kde), allOfIt);
    EXPECT_EQ(render(gtk), allOfIt);
    EXPECT_GE(standingOut(allOfIt, darkPanel), 0.2);
}

}  // namespace
}  // namespace morvale::ui
