// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include "ui/PanelStyle.h"

namespace morvale::ui {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// The portal's Read answers a variant that holds the value's variant; a
// change signal carries the value's variant alone.
uint unwrap(QVariant value) {
    while (value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint number = value.toUInt(&ok);
    return ok ? number : 0;
}

QPalette schemePalette(const QColor& window, const QColor& text, const QColor& base,
                       const QColor& button, const QColor& highlight) {
    QPalette palette(button, window);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::AlternateBase, window);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, button);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::Highlight, highlight);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, base);
        palette.setColor(group, QPalette::ToolTipText, text);
        palette.setColor(group, QPalette::PlaceholderText, secondaryTextColor(palette));
    }
    QColor disabled = text;
    disabled.setAlphaF(0.45f);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabled);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, window);
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    palette.setColor(QPalette::Disabled, QPalette::Button, button);
    return palette;
}

// Hears the portal's SettingChanged signal, which QtDBus delivers to a slot
// (as the whole message: the value's type varies).
class PortalListener final : public QObject {
    Q_OBJECT
public:
    explicit PortalListener(DesktopColorScheme& scheme) : QObject(&scheme), scheme_(scheme) {}

public slots:
    void settingChanged(const QDBusMessage& signal) {
        const QVariantList arguments = signal.arguments();
        if (arguments.size() == 3 && arguments[0].toString() == appearance &&
            arguments[1].toString() == colorSchemeKey) {
            scheme_.setScheme(colorSchemeOfPortalValue(unwrap(arguments[2])));
        }
    }

private:
    DesktopColorScheme& scheme_;
};

}  // namespace

ColorScheme colorSchemeOfPortalValue(uint value) {
    switch (value) {
        case 1:
            return ColorScheme::dark;
        case 2:
            return ColorScheme::light;
        default:
            return ColorScheme::noPreference;
    }
}

std::optional<ColorScheme> colorSchemeFromEnvironment() {
    const QByteArray chosen = qgetenv("MORVALE_COLOR_SCHEME").trimmed().toLower();
    if (chosen == "dark") {
        return ColorScheme::dark;
    }
    if (chosen == "light") {
        return ColorScheme::light;
    }
    return std::nullopt;
}

QPalette lightPalette() {
    return schemePalette(QColor(0xef, 0xf0, 0xf1), QColor(0x23, 0x26, 0x29),
                         QColor(0xff, 0xff, 0xff), QColor(0xfc, 0xfc, 0xfc),
                         QColor(0x2a, 0x6f, 0xc9));
}

QPalette darkPalette() {
    return schemePalette(QColor(0x2a, 0x2e, 0x32), QColor(0xfc, 0xfc, 0xfc),
                         QColor(0x1b, 0x1e, 0x20), QColor(0x31, 0x36, 0x3b),
                         QColor(0x3d, 0xae, 0xe9));
}

QPalette paletteFor(ColorScheme scheme, const QPalette& desktop) {
    if (scheme == ColorScheme::dark && !isDark(desktop)) {
        return darkPalette();
    }
    if (scheme == ColorScheme::light && isDark(desktop)) {
        return lightPalette();
    }
    return desktop;
}

DesktopColorScheme::DesktopColorScheme(QObject* parent) : QObject(parent) {
    if (const auto chosen = colorSchemeFromEnvironment()) {
        scheme_ = *chosen;
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                new PortalListener(*this), SLOT(settingChanged(QDBusMessage)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                       QStringLiteral("Read"));
    read.setArguments({appearance, colorSchemeKey});
    // Started on demand where it is installed but not yet running (early at
    // login); the answer comes when it does.
    auto* reply = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this, reply] {
        const QDBusMessage answer = reply->reply();
        if (answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty()) {
            setScheme(colorSchemeOfPortalValue(unwrap(answer.arguments().constFirst())));
        }
        reply->deleteLater();
    });
}

void DesktopColorScheme::setScheme(ColorScheme scheme) {
    if (scheme != scheme_) {
        scheme_ = scheme;
        emit changed();
    }
}

}  // namespace morvale::ui

#include "ColorScheme.moc"
