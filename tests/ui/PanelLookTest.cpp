// SPDX-License-Identifier: GPL-3.0-or-later
// How the panel reads: its fonts come from the desktop's, and every text on
// it, as drawn, stands out from what it is drawn on, in light and dark.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <map>

#include "UiFixture.h"
#include "ui/ColorScheme.h"
#include "ui/PanelStyle.h"

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

TEST(PanelColours, StatusAndSecondaryTextIsReadableOnLightAndDarkWindows) {
    // The colours the panel used to draw (#777 on #EFEFEF was 3.9:1, its green
    // 2.7:1), and desktop palettes whose text is already dark enough.
    // clang-format off
    const struct { QColor color, background; bool keeps; } cases[] = {
        {QColor(0x77, 0x77, 0x77), QColor(0xef, 0xef, 0xef), false},
        {QColor(0x28, 0xa7, 0x45), QColor(0xef, 0xef, 0xef), false},
        {QColor(0xd7, 0x00, 0x15), QColor(0xef, 0xf0, 0xf1), true},
        {QColor(0x30, 0xd1, 0x58), QColor(0x2a, 0x2e, 0x32), true},
        {QColor(0x80, 0x80, 0x80), QColor(0x2a, 0x2e, 0x32), false},
        {QColor(0x23, 0x26, 0x29), QColor(0xef, 0xf0, 0xf1), true},
        {QColor(0xfc, 0xfc, 0xfc), QColor(0x80, 0x80, 0x80), false}};
    // clang-format on
    for (const auto& c : cases) {
        const QColor readable = ui::readableOn(c.color, c.background);
        EXPECT_GE(ui::contrastRatio(readable, c.background), ui::readableContrast)
            << c.color.name() << " on " << c.background.name();
        EXPECT_EQ(readable == c.color, c.keeps) << c.color.name() << " became " << readable.name();
    }
}

// A panel with every kind of text: rows playing, at a volume and muted, the
// call line, the boost, an error, "Open at login" and Quit.
class PanelContrastTest : public UiFixture {
protected:
    void SetUp() override {
        addCallStream(200, true);
        makeEverydayModel();
    }
};

// The contrast of a text drawn in the image's rectangle: its most common
// colour is the background, and the colour that stands out most from it the
// text's (the cores of the glyphs, drawn in the full colour).
double drawnContrast(const QImage& image, const QRect& area, QColor* background = nullptr) {
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    QRgb common = 0;
    int most = 0;
    for (const auto& [color, count] : counts) {
        if (count > most) {
            common = color;
            most = count;
        }
    }
    double best = 1.0;
    for (const auto& [color, count] : counts) {
        best = std::max(best, ui::contrastRatio(QColor(color), QColor(common)));
    }
    if (background != nullptr) {
        *background = QColor(common);
    }
    return best;
}

TEST_F(PanelContrastTest, EveryTextStandsOutFromItsBackgroundInLightAndDark) {
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
    }
}

TEST_F(PanelContrastTest, TheCallLineKeepsItsDistanceFromTheTitleAndQuitIsPlain) {
    ui::ContentView view(*model);
    view.show();
    settle();
    const QWidget* title = child(view, "duckTitle");
    const QWidget* badge = child(view, "callBadge");
    const auto* quit = child<QPushButton>(view, "quitButton");
    EXPECT_GE(badge->x() - (title->x() + title->width()), ui::ContentView::badgeGap);
    EXPECT_TRUE(quit->isFlat());
    EXPECT_FALSE(quit->isDefault() || quit->autoDefault());
}

}  // namespace
}  // namespace morvale::testing
