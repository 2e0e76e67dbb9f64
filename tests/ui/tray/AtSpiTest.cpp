// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader receives over AT-SPI, the desktop's accessibility bus
// (here the test's session bus, which Qt's bridge is pointed at): a slider's
// value as the text people read, asked of the bridge's connection at the
// object's path as Qt's bridge names it.
#include <QAccessible>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTest>

#include "UiFixture.h"
#include "ui/Accessibility.h"
#include "ui/AtSpiValueText.h"
#include "ui/PanelWindow.h"

namespace morvale::testing {
namespace {

using AtSpiTest = UiFixture;

TEST_F(AtSpiTest, SlidersTellTheirValueAsText) {
    ui::installAccessibility();
    makeEverydayModel();
    model->setVolume(chatter, 0.25);
    model->toggleMute(chatter);
    ui::PanelWindow window(new ui::ContentView(*model));
    window.open(QRect(600, 0, 24, 24));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();

    const QString bridge = QDBusConnection("a11y").baseService();
    ASSERT_FALSE(bridge.isEmpty()) << "Qt's accessibility bridge is not on the bus";
    QDBusConnection probe = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "reader");
    const auto property = [&](QWidget* widget, const char* name) {
        const QString path =
            QString::fromLatin1(ui::atSpiObjectPathPrefix) +
            QString::number(QAccessible::uniqueId(QAccessible::queryAccessibleInterface(widget)));
        QDBusMessage get =
            QDBusMessage::createMethodCall(bridge, path, "org.freedesktop.DBus.Properties", "Get");
        get.setArguments({"org.a11y.atspi.Value", name});
        // The bridge answers from this thread: the call must not block it.
        const QDBusPendingCall pending = probe.asyncCall(get, 5000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 6000));
        EXPECT_FALSE(pending.isError()) << name << ": " << pending.error().message();
        return pending.reply().arguments().value(0).value<QDBusVariant>().variant().toString();
    };
    // clang-format off
    const struct { QWidget* slider; const char* text; } cases[] = {
        {row(window, tunebox).volumeSlider(), "50%"},
        {row(window, chatter).volumeSlider(), "muted, 25%"},
        {child(window, "boostSlider"), "+6 dB"}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(property(c.slider, "Text"), c.text);
    }
    QDBusConnection::disconnectFromBus("reader");
}

}  // namespace
}  // namespace morvale::testing
