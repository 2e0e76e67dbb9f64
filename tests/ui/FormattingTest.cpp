#include <gtest/gtest.h>

#include <QPalette>
#include <limits>

#include "ui/Formatting.h"
#include "ui/PanelPlacement.h"
#include "ui/PanelStyle.h"

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
const QSize panel(320, 400);

TEST(PanelPlacement, HangsOffTheIconAndStaysOnTheScreen) {
    const struct { const char* where; QRect available, anchor; QPoint position; } cases[] = {
        {"top bar: below the icon, centred", {0, 32, 1920, 1048}, {1000, 4, 24, 24}, {851, 32}},
        {"top bar, right end: to the edge", {0, 32, 1920, 1048}, {1890, 4, 24, 24}, {1600, 32}},
        {"bottom panel: above the icon", {0, 0, 1920, 1040}, {1800, 1048, 24, 24}, {1600, 640}},
        {"left panel: beside, level with it", {48, 0, 1872, 1080}, {12, 500, 24, 24}, {48, 528}},
        {"the pointer, without an icon", screen, {600, 300, 1, 1}, {440, 305}},
        {"taller than the room: top on screen", {0, 0, 1920, 300}, {900, 250, 24, 24}, {751, 0}}};
    for (const auto& c : cases) {
        EXPECT_EQ(panelPosition(c.anchor, panel, c.available), c.position) << c.where;
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
        EXPECT_EQ(panelPosition(corner, panel, c.available), c.position) << c.desktop;
    }
}
// clang-format on

}  // namespace
}  // namespace morvale::ui
