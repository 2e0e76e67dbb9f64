#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QTest>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "ui/XEmbedTrayColors.h"

namespace morvale::ui {
namespace {

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
    XEmbedTrayColors colors;
    const auto becomes = [&](std::optional<QColor> expected) {
        return QTest::qWaitFor([&] { return colors.foreground() == expected; }, 3000);
    };
    std::optional<FakeXEmbedTray> tray;
    tray.emplace();  // a tray that says nothing of colours
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
}  // namespace morvale::ui
