#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>
#include <functional>
#include <optional>

#include "ui/PanelStyle.h"
#include "ui/Symbols.h"
#include "ui/TrayIconLook.h"

namespace morvale::ui {
namespace {

constexpr int traySize = 22;
const QColor lightPanel(0xef, 0xf0, 0xf1);
const QColor darkPanel(0x2b, 0x2b, 0x2b);

// The icon as the tray shows it, on the panel's background.
QImage onPanel(const std::function<void(QPainter&, const QRect&)>& draw, const QColor& panel) {
    QImage image(traySize, traySize, QImage::Format_RGB32);
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
    QPalette lightDesktop, darkDesktop;
    lightDesktop.setColor(QPalette::WindowText, QColor(0x23, 0x26, 0x29));
    darkDesktop.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
    darkDesktop.setColor(QPalette::Window, QColor(0x2a, 0x2e, 0x32));
    const struct {
        const char* what;
        std::optional<QColor> trayForeground;
        QPalette desktop;
        QColor panel;
    } cases[] = {
        // Nothing says what the panel looks like: it may differ from the windows.
        {"light desktop, light panel", std::nullopt, lightDesktop, lightPanel},
        {"light desktop, dark panel", std::nullopt, lightDesktop, darkPanel},
        {"light desktop, black panel", std::nullopt, lightDesktop, Qt::black},
        {"dark desktop, dark panel", std::nullopt, darkDesktop, darkPanel},
        {"dark desktop, light panel", std::nullopt, darkDesktop, lightPanel},
        {"dark desktop, white panel", std::nullopt, darkDesktop, Qt::white},
        // The tray announces its text colour (Xfce's dark and light themes),
        // but may put the icon on a black square of its own.
        {"light desktop, tray says light", QColor(0xee, 0xee, 0xec), lightDesktop, darkPanel},
        {"dark desktop, tray says dark", QColor(0x2e, 0x34, 0x36), darkDesktop, lightPanel},
        {"tray says dark, icon on black", QColor(0x2e, 0x34, 0x36), lightDesktop, Qt::black},
    };
    for (const auto& c : cases) {
        const TrayIconLook look = trayIconLook(c.trayForeground, c.desktop);
        const QIcon icon =
            symbolIcon(QStringLiteral("slider.horizontal.3"), look.glyph, {}, look.outline);
        const QImage shown =
            onPanel([&](QPainter& p, const QRect& r) { icon.paint(&p, r); }, c.panel);
        // The plain drawing covers about a third of its square.
        EXPECT_GE(standingOut(shown, c.panel), 0.2) << c.what;
    }
}

// Hosts that load the icon by name recolour it to their panel's text colour:
// KDE by its colour-scheme style sheet, GTK (Xfce, GNOME's AppIndicator
// extension) by overriding the fill of every shape and leaving the rest as
// the file has it. Either way all of the drawing must take the new colour, or
// parts of it stay dark on a dark panel.
TEST(TrayIcon, RecolouringHostsRecolourAllOfIt) {
    QFile file(QStringLiteral(":/symbols/slider.horizontal.3.svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray symbolic = file.readAll();
    const QByteArray fileColor = "#232629";
    ASSERT_TRUE(symbolic.contains(".ColorScheme-Text { color:" + fileColor));
    const QByteArray text = "#eeeeec";  // a dark panel's

    QByteArray kde = symbolic;
    kde.replace("color:" + fileColor, "color:" + text);
    QByteArray gtk = symbolic;
    gtk.replace("fill:currentColor", "fill:" + text).replace("currentColor", fileColor);
    QByteArray allOfIt = symbolic;
    allOfIt.replace("currentColor", text);

    const auto render = [&](const QByteArray& svg) {
        QSvgRenderer renderer(svg);
        return onPanel([&](QPainter& p, const QRect& r) { renderer.render(&p, r); }, darkPanel);
    };
    const QImage expected = render(allOfIt);
    EXPECT_GE(standingOut(expected, darkPanel), 0.2);
    for (const auto& [host, svg] : {std::pair{"KDE", kde}, std::pair{"GTK", gtk}}) {
        EXPECT_EQ(render(svg), expected) << host;
    }
}

}  // namespace
}  // namespace morvale::ui
