// The tray icon against the two kinds of tray host a desktop runs: a
// StatusNotifierItem host over D-Bus, and an X11 system tray.
#include <xcb/xcb.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QIcon>
#include <QSignalSpy>
#include <QTest>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "FakeTrayHost.h"
#include "UiFixture.h"
#include "ui/MorvaleApp.h"
#include "ui/PanelWindow.h"
#include "ui/XEmbedTrayColors.h"

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

TEST_F(TrayOverDBus, TheHostGetsTheNamedIconItsPictureAndAMenuThatWorks) {
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

    click("Open panel");
    EXPECT_TRUE(app.panelWindow()->isVisible());
    // A left click on the icon toggles the panel.
    call("/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", {10, 10});
    settle();
    EXPECT_FALSE(app.panelWindow()->isVisible());
    QSignalSpy quit(&app, &ui::MorvaleApp::quitRequested);
    click("Quit");
    EXPECT_EQ(quit.count(), 1);
}

// An X11 system tray as a desktop panel runs one: a window that owns the
// tray selection and announces itself to the root window, for as long as its
// connection lasts, and, if it likes, announces a colour for its icons.
class FakeXEmbedTray {
public:
    FakeXEmbedTray() {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
        xcb_set_selection_owner(connection_, window_, selection, XCB_CURRENT_TIME);
        xcb_client_message_event_t manager{.response_type = XCB_CLIENT_MESSAGE,
                                           .format = 32,
                                           .window = root,
                                           .type = atom("MANAGER")};
        manager.data.data32[1] = selection;
        manager.data.data32[2] = window_;
        xcb_send_event(connection_, 0, root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&manager));
        xcb_flush(connection_);
    }
    ~FakeXEmbedTray() { xcb_disconnect(connection_); }

    // Foreground, error, warning and success colours; only the first counts.
    void announce(uint16_t red, uint16_t green, uint16_t blue) {
        const std::array<uint32_t, 12> channels{red,    green,  blue, 0xffff, 0,      0,
                                                0xffff, 0x8000, 0,    0,      0xffff, 0};
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_,
                            atom("_NET_SYSTEM_TRAY_COLORS"), XCB_ATOM_CARDINAL, 32, 12,
                            channels.data());
        xcb_flush(connection_);
    }

private:
    xcb_atom_t atom(const char* name) {
        const auto length = static_cast<uint16_t>(std::strlen(name));
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, length, name), nullptr);
        const xcb_atom_t value = reply->atom;
        std::free(reply);
        return value;
    }

    xcb_connection_t* connection_ = xcb_connect(nullptr, nullptr);
    xcb_window_t window_ = xcb_generate_id(connection_);
};

TEST(XEmbedTrayColors, FollowTheTrayAsItComesChangesAndGoes) {
    ui::XEmbedTrayColors colors;
    const auto becomes = [&](std::optional<QColor> expected) {
        return QTest::qWaitFor([&] { return colors.foreground() == expected; }, 3000);
    };
    std::optional<FakeXEmbedTray> tray(std::in_place);  // a tray that says nothing of colours
    QTest::qWait(100);
    EXPECT_EQ(colors.foreground(), std::nullopt);
    tray->announce(0xeeee, 0xeeee, 0xecec);  // a dark panel's light text
    EXPECT_TRUE(becomes(QColor(0xee, 0xee, 0xec)));
    tray->announce(0x2e2e, 0x3434, 0x3636);  // the theme turned light
    EXPECT_TRUE(becomes(QColor(0x2e, 0x34, 0x36)));
    tray.reset();
    EXPECT_TRUE(becomes(std::nullopt));

    // A tray that starts later (the panel restarted) is found again.
    tray.emplace();
    tray->announce(0xffff, 0xffff, 0xffff);
    EXPECT_TRUE(becomes(QColor(Qt::white)));
}

}  // namespace
}  // namespace morvale::testing
