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

const QColor lightPanel(0xef, 0xf0, 0xf1), darkPanel(0x2b, 0x2b, 0x2b);

// The share of the icon's pixels, drawn as the tray shows it on the panel's
// background, that stand out from the panel at 4.5:1.
double standingOut(const std::function<void(QPainter&, const QRect&)>& draw, const QColor& panel) {
    QImage image(22, 22, QImage::Format_RGB32);
    image.fill(panel);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, image.rect());
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
        EXPECT_GE(standingOut([&](QPainter& p, const QRect& r) { icon.paint(&p, r); }, c.panel),
                  0.2);
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
    const auto render = [&](QByteArray svg) {
        QImage image(22, 22, QImage::Format_RGB32);
        image.fill(darkPanel);
        QPainter painter(&image);
        QSvgRenderer(svg).render(&painter, image.rect());
        return image;
    };
    const QImage allOfIt = render(QByteArray(symbolic).replace("currentColor", text));
    const QByteArray kde = QByteArray(symbolic).replace("color:" + fileColor, "color:" + text);
    const QByteArray gtk = QByteArray(symbolic)
                               .replace("fill:currentColor", "fill:" + text)
                               .replace("currentColor", fileColor);
    EXPECT_EQ(render(kde), allOfIt);
    EXPECT_EQ(render(gtk), allOfIt);
    EXPECT_GE(standingOut([&](QPainter& p, const QRect& r) { p.drawImage(r, allOfIt); }, darkPanel),
              0.2);
}

}  // namespace
}  // namespace morvale::ui
