// SPDX-License-Identifier: GPL-3.0-or-later
// The tray icon against a StatusNotifierItem host over D-Bus, as a desktop
// panel runs one.
#include <QCursor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "FakeTrayHost.h"
#include "UiFixture.h"
#include "ui/MorvaleApp.h"
#include "ui/PanelPlacement.h"
#include "ui/PanelStyle.h"
#include "ui/PanelWindow.h"

namespace morvale::testing {
namespace {

// One entry of a menu exported over D-Bus (com.canonical.dbusmenu).
struct MenuEntry {
    int id = 0;
    QVariantMap properties;
    std::vector<MenuEntry> children;

    QString label() const {
        return properties.value("type") == "separator" ? "-" : properties.value("label").toString();
    }
};

MenuEntry readEntry(const QDBusArgument& argument) {
    MenuEntry entry;
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        entry.children.push_back(readEntry(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();
    return entry;
}

// A tray host's view of the program's tray icon, over the session bus.
class TrayOverDBus : public UiFixture {
protected:
    FakeTrayHost host;  // there before the program looks for a tray
    QDBusConnection probe = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "probe");
    QString item, menuPath;

    ~TrayOverDBus() override { QDBusConnection::disconnectFromBus("probe"); }

    // The item answers from this thread, so the calls must not block it.
    QVariantList call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(item, path, interface, method);
        message.setArguments(arguments);
        const QDBusPendingCall pending = probe.asyncCall(message, 5000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 6000)) << method;
        EXPECT_FALSE(pending.isError()) << pending.error().message();
        return pending.reply().arguments();
    }

    QVariant itemProperty(const char* name) {
        const QVariantList reply = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties",
                                        "Get", {"org.kde.StatusNotifierItem", name});
        return reply.value(0).value<QDBusVariant>().variant();
    }

    // The menu as the host sees it now.
    std::vector<MenuEntry> menu() {
        const QVariantList reply =
            call(menuPath, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        return readEntry(reply.value(1).value<QDBusArgument>()).children;
    }

    MenuEntry entry(const QString& label) {
        for (const MenuEntry& shown : menu()) {
            if (shown.label() == label) {
                return shown;
            }
        }
        ADD_FAILURE() << "no menu entry " << label;
        return {};
    }

    void click(const QString& label) {
        call(menuPath, "com.canonical.dbusmenu", "Event",
             {entry(label).id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
        settle();
    }
};

TEST_F(TrayOverDBus, TheHostGetsTheIconAMenuThatWorksAndActivationsThatOpenThePanelAtTheIcon) {
    // The symbolic icon as installed in the icon theme.
    QIcon::setThemeSearchPaths({MORVALE_SOURCE_DIR "/data/icons", "/usr/share/icons"});
    QIcon::setThemeName("hicolor");
    makeModel();
    ui::MorvaleApp app(*model);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !host.registered().isEmpty(); }, 5000));
    item = host.registered().firstKey();
    // The menu was there when the item registered: hosts read it only then.
    menuPath = host.registered().first();
    ASSERT_TRUE(menuPath.startsWith('/') && menuPath != "/NO_DBUSMENU") << menuPath;

    // A name the host can recolour, and a picture for hosts that cannot load it.
    EXPECT_EQ(itemProperty("IconName").toString(), ui::MorvaleApp::trayIconThemeName);
    EXPECT_FALSE(itemProperty("IconPixmap").value<QDBusArgument>().atEnd());
    QStringList labels;
    for (const MenuEntry& entry : menu()) {
        labels << entry.label();
    }
    EXPECT_EQ(labels.join('|'), "Open panel|Open at login|-|Quit");

    // A host with the icon's position, and one without (0, 0), as from the
    // keyboard; the menu's "Open panel" has none either. The pointer is far
    // from the icon: a keyboard activation leaves it anywhere.
    ui::PanelWindow& panel = *app.panelWindow();
    const QScreen& screen = *QGuiApplication::primaryScreen();
    const QRect available = screen.availableGeometry();
    const QRect corner =
        ui::trayCorner(screen.geometry(), available, QGuiApplication::layoutDirection());
    QCursor::setPos(200, 600);
    // clang-format off
    const struct { const char* how; QPoint at; QRect anchor; } cases[] = {
        {"at the icon", {700, 12}, {700, 12, 1, 1}}, {"without a position", {0, 0}, corner},
        {"at another icon", {40, 780}, {40, 780, 1, 1}}};
    // clang-format on
    for (const auto& c : cases) {
        call("/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", {c.at.x(), c.at.y()});
        ASSERT_TRUE(QTest::qWaitFor([&] { return panel.isVisible(); }, 2000)) << c.how;
        EXPECT_EQ(panel.pos(), ui::panelPosition(c.anchor, panel.size(), available)) << c.how;
        panel.hide();
        QTest::qWait(450);  // past the time a closing click takes to arrive
    }
    click("Open panel");
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.pos(), ui::panelPosition(corner, panel.size(), available));
    // A left click on the icon toggles the panel.
    call("/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", {10, 10});
    settle();
    EXPECT_FALSE(panel.isVisible());

    // "Open at login" shows the model's state and toggles it through the model,
    // and a change made elsewhere (the panel's checkbox) shows in the menu too.
    const auto login = [&] { return entry("Open at login").properties; };
    EXPECT_EQ(login().value("toggle-type"), "checkmark");
    EXPECT_EQ(login().value("toggle-state"), 0);
    click("Open at login");
    EXPECT_TRUE(model->launchAtLogin());
    EXPECT_EQ(login().value("toggle-state"), 1);
    model->toggleLaunchAtLogin();
    settle();
    EXPECT_EQ(login().value("toggle-state"), 0);
    QSignalSpy quit(&app, &ui::MorvaleApp::quitRequested);
    click("Quit");
    EXPECT_EQ(quit.count(), 1);
}

// The desktop portal's settings, as far as the colour scheme goes: Read
// answers the value wrapped in a variant, as the portal does.
class FakePortalSettings final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint scheme = 1;

    void change(uint value) {
        scheme = value;
        emit SettingChanged("org.freedesktop.appearance", "color-scheme",
                            QDBusVariant(QVariant::fromValue(value)));
    }

public slots:
    QDBusVariant Read(const QString& group, const QString& key) {
        if (group != "org.freedesktop.appearance" || key != "color-scheme") {
            return {};
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant::fromValue(scheme))));
    }

signals:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
};

TEST_F(TrayOverDBus, ThePanelFollowsTheDesktopsColourSchemeAsItChanges) {
    FakePortalSettings portal;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "portal");
    ASSERT_TRUE(
        bus.registerObject("/org/freedesktop/portal/desktop", &portal,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    ASSERT_TRUE(bus.registerService("org.freedesktop.portal.Desktop"));
    makeModel();
    {
        ui::MorvaleApp app(*model);
        const auto dark = [&] { return ui::isDark(app.panelWindow()->palette()); };
        ASSERT_FALSE(ui::isDark(QApplication::palette()));  // Qt's own is light here
        EXPECT_TRUE(QTest::qWaitFor(dark, 3000));
        EXPECT_TRUE(ui::isDark(app.trayMenu()->palette()));
        // clang-format off
        const struct { uint scheme; bool dark; } changes[] = {{2, false}, {1, true}, {0, false}};
        // clang-format on
        for (const auto& c : changes) {
            portal.change(c.scheme);
            EXPECT_TRUE(QTest::qWaitFor([&] { return dark() == c.dark; }, 3000)) << c.scheme;
        }
    }
    bus.unregisterService("org.freedesktop.portal.Desktop");
    QDBusConnection::disconnectFromBus("portal");
}

}  // namespace
}  // namespace morvale::testing

#include "TrayOverDBusTest.moc"
