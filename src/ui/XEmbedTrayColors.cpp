// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/XEmbedTrayColors.h"

#include <xcb/xcb.h>

#include <QSocketNotifier>
#include <cstdlib>
#include <string>

namespace morvale::ui {

namespace {

// An xcb reply, freed when it goes.
template <typename T>
struct Reply {
    T* value;
    explicit Reply(T* reply) : value(reply) {}
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    ~Reply() { std::free(value); }  // NOLINT: xcb allocates with malloc
    T* operator->() const { return value; }
    explicit operator bool() const { return value != nullptr; }
};

xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name) {
    const Reply reply(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str()),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace

struct XEmbedTrayColors::Connection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t selection = XCB_ATOM_NONE;  // _NET_SYSTEM_TRAY_S<screen>
    xcb_atom_t colors = XCB_ATOM_NONE;
    xcb_atom_t manager = XCB_ATOM_NONE;
    xcb_window_t tray = XCB_WINDOW_NONE;
    QSocketNotifier* notifier = nullptr;

    ~Connection() {
        delete notifier;
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
    }
};

XEmbedTrayColors::XEmbedTrayColors(const QByteArray& display, QObject* parent)
    : QObject(parent), x_(std::make_unique<Connection>()) {
    int screenNumber = 0;
    x_->connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(x_->connection) != 0) {
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x_->connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return;
    }
    x_->root = screens.data->root;
    x_->selection = internAtom(x_->connection, "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber));
    x_->colors = internAtom(x_->connection, "_NET_SYSTEM_TRAY_COLORS");
    x_->manager = internAtom(x_->connection, "MANAGER");

    // A tray that starts announces itself to the root window's structure
    // listeners (a MANAGER message).
    const uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(x_->connection, x_->root, XCB_CW_EVENT_MASK, &rootEvents);
    x_->notifier = new QSocketNotifier(xcb_get_file_descriptor(x_->connection),
                                       QSocketNotifier::Read);
    connect(x_->notifier, &QSocketNotifier::activated, this, &XEmbedTrayColors::processEvents);
    findTray();
    processEvents();
}

XEmbedTrayColors::~XEmbedTrayColors() = default;

void XEmbedTrayColors::findTray() {
    xcb_connection_t* c = x_->connection;
    const Reply owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, x_->selection), nullptr));
    x_->tray = owner ? owner->owner : xcb_window_t{XCB_WINDOW_NONE};
    if (x_->tray == XCB_WINDOW_NONE) {
        setForeground(std::nullopt);
        return;
    }
    // Hear when the tray changes its colours and when it goes.
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, x_->tray, XCB_CW_EVENT_MASK, &events);
    readColors();
}

void XEmbedTrayColors::readColors() {
    xcb_connection_t* c = x_->connection;
    const Reply reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, x_->tray, x_->colors, XCB_ATOM_CARDINAL, 0, 12), nullptr));
    // Twelve 16-bit channels: the foreground's red, green and blue first, then
    // the error, warning and success colours.
    if (!reply || reply->format != 32 || reply->value_len < 3) {
        setForeground(std::nullopt);
        return;
    }
    const auto* channels = static_cast<const uint32_t*>(xcb_get_property_value(reply.value));
    setForeground(QColor::fromRgba64(static_cast<quint16>(channels[0]),
                                     static_cast<quint16>(channels[1]),
                                     static_cast<quint16>(channels[2])));
}

void XEmbedTrayColors::processEvents() {
    xcb_connection_t* c = x_->connection;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        switch (event->response_type & 0x7f) {
            case XCB_PROPERTY_NOTIFY: {
                const auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (property->window == x_->tray && property->atom == x_->colors) {
                    readColors();
                }
                break;
            }
            case XCB_DESTROY_NOTIFY:
                if (reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == x_->tray) {
                    x_->tray = XCB_WINDOW_NONE;
                    setForeground(std::nullopt);
                }
                break;
            case XCB_CLIENT_MESSAGE: {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == x_->manager && message->format == 32 &&
                    message->data.data32[1] == x_->selection) {
                    findTray();
                }
                break;
            }
            default:
                break;
        }
        std::free(event);  // NOLINT: xcb allocates with malloc
    }
    if (xcb_connection_has_error(c) != 0) {
        // The display went away: nothing more will come.
        x_->notifier->setEnabled(false);
    }
}

void XEmbedTrayColors::setForeground(std::optional<QColor> color) {
    if (color == foreground_) {
        return;
    }
    foreground_ = color;
    emit changed();
}

}  // namespace morvale::ui
