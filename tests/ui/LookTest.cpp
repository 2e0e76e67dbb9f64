// SPDX-License-Identifier: GPL-3.0-or-later
// How the panel reads: its fonts come from the desktop's, and every text on
// it, as drawn, stands out from what it is drawn on, in light and dark; where
// the panel goes, and how the tray icon looks.
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <map>
#include <optional>

#include "UiFixture.h"
#include "ui/ColorScheme.h"
#include "ui/PanelPlacement.h"
#include "ui/PanelStyle.h"
#include "ui/Symbols.h"
#include "ui/TrayIconLook.h"

namespace morvale::testing {
namespace {

using ui::TextStyle;

QFont pixels(int size) {
    QFont font = QApplication::font();
    font.setPixelSize(size);
    return font;
}

TEST(PanelFonts, FollowTheDesktopsFontsAndKeepCaptionsReadable) {
    // clang-format off
    const struct { const char* desktop; int body, smallest, caption, value, headline; } cases[] = {
        {"usual 13 px body, 8 px smallest",   13, 8,  12, 13, 15},
        {"Qt's default font (12 px)",          12, 12, 12, 12, 14},
        {"large body font",                    20, 12, 18, 20, 23},
        {"smallest readable above 90 % body",  10, 10, 10, 10, 12},
        {"a smallest above the body: no hint", 12, 16, 12, 12, 14}};
    // clang-format on
    for (const auto& c : cases) {
        const auto size = [&](TextStyle style) {
            return QFontInfo(ui::panelFont(style, pixels(c.body), pixels(c.smallest))).pixelSize();
        };
        EXPECT_EQ((std::tuple{size(TextStyle::caption), size(TextStyle::caption2),
                              size(TextStyle::valueText), size(TextStyle::rowName),
                              size(TextStyle::callout), size(TextStyle::headline)}),
                  (std::tuple{c.caption, c.caption, c.value, c.body, c.body, c.headline}))
            << c.desktop;
    }
}

using PanelContrastTest = UiFixture;

// The contrast of a text drawn in the image's rectangle: its most common
// colour is the background, and the colour that stands out most from it the
// text's (the cores of the glyphs, drawn in the full colour).
double drawnContrast(const QImage& image, const QRect& area, QColor* background) {
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    *background = QColor(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                             return a.second < b.second;
                         })->first);
    double best = 1.0;
    for (const auto& [color, count] : counts) {
        best = std::max(best, ui::contrastRatio(QColor(color), *background));
    }
    return best;
}

TEST_F(PanelContrastTest, EveryTextStandsOutFromItsBackgroundInLightAndDark) {
    // A panel with every kind of text: rows playing, at a volume and muted,
    // the call line, the boost, an error, "Open at login" and Quit.
    addCallStream(200, true);
    makeEverydayModel();
    for (const auto& [scheme, palette] : {std::pair{"light", ui::lightPalette()},
                                          {"dark", ui::darkPalette()},
                                          {"Qt's own", QApplication::style()->standardPalette()}}) {
        ui::ContentView view(*model);
        view.setPalette(palette);
        view.show();
        settle();
        ASSERT_TRUE(child(view, "callBadge")->isVisible());
        const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);

        // Each shown text, by its name or object name, at the rectangle its
        // text takes.
        std::map<QString, QRect> texts;
        for (QWidget* widget : view.findChildren<QWidget*>()) {
            if (!widget->isVisible() || !widget->isEnabled()) {
                continue;
            }
            QRect area(widget->mapTo(&view, QPoint()), widget->size());
            QString name = widget->objectName();
            if (auto* box = qobject_cast<QCheckBox*>(widget)) {
                QStyleOptionButton option;
                option.initFrom(box);
                option.text = box->text();
                const QRect contents =
                    box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
                area = QRect(area.topLeft() + contents.topLeft(), contents.size());
            } else if (qobject_cast<QPushButton*>(widget) == nullptr &&
                       qobject_cast<QLabel*>(widget) == nullptr &&
                       qobject_cast<ui::ElidedLabel*>(widget) == nullptr &&
                       qobject_cast<ui::DigitsLabel*>(widget) == nullptr) {
                continue;
            }
            if (auto* label = qobject_cast<ui::ElidedLabel*>(widget)) {
                name = label->text();
            } else if (auto* digits = qobject_cast<ui::DigitsLabel*>(widget)) {
                name += " " + digits->text();
            }
            texts[name] = area;
        }
        for (const char* expected :
             {"title", "duckTitle", "callBadge", "helpText", "errorLine", "launchAtLogin",
              "quitButton", "Tunebox", "boostText +6 dB", "percent 50%", "percent muted"}) {
            EXPECT_TRUE(texts.count(expected)) << scheme << ": no " << expected;
        }
        for (const auto& [name, area] : texts) {
            QColor background;
            const double ratio = drawnContrast(image, area, &background);
            EXPECT_GE(ratio, ui::readableContrast)
                << scheme << ": " << name << " on " << background.name();
        }
        // The call line keeps its distance from the title.
        const QWidget* title = child(view, "duckTitle");
        EXPECT_GE(child(view, "callBadge")->x() - (title->x() + title->width()),
                  ui::ContentView::badgeGap);
    }
}

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
        EXPECT_EQ(ui::panelPosition(c.anchor, panelSize, c.available), c.position) << c.where;
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
        const QRect corner = ui::trayCorner(c.screen, c.available, c.direction);
        EXPECT_EQ(ui::panelPosition(corner, panelSize, c.available), c.position) << c.desktop;
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
            count += ui::contrastRatio(image.pixelColor(x, y), panel) >= 4.5 ? 1 : 0;
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
        const ui::TrayIconLook look = ui::trayIconLook(c.trayForeground, c.desktop);
        const QIcon icon = ui::symbolIcon("slider.horizontal.3", look.glyph, {}, look.outline);
        // The plain drawing covers about a third of its square.
        EXPECT_GE(standingOut(icon, c.panel), 0.2);
    }
}

}  // namespace
}  // namespace morvale::testing
