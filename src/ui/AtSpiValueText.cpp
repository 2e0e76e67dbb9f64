// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AtSpiValueText.h"

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include "ui/DBusSpyHook.h"

namespace morvale::ui {

namespace {

// The name of the connection Qt's bridge opens to the accessibility bus.
const QString bridgeConnection = QStringLiteral("a11y");

void answerValueText(const QDBusMessage& call) {
    if (call.type() != QDBusMessage::MethodCallMessage ||
        call.interface() != QLatin1String("org.freedesktop.DBus.Properties") ||
        call.member() != QLatin1String("Get")) {
        return;
    }
    const QVariantList arguments = call.arguments();
    if (arguments.size() != 2 || arguments[0].toString() != QLatin1String("org.a11y.atspi.Value") ||
        arguments[1].toString() != QLatin1String("Text")) {
        return;
    }
    const QString prefix = QString::fromLatin1(atSpiObjectPathPrefix);
    if (!call.path().startsWith(prefix)) {
        return;
    }
    bool ok = false;
    const QAccessible::Id id = call.path().mid(prefix.size()).toUInt(&ok);
    QAccessibleInterface* object = ok ? QAccessible::accessibleInterface(id) : nullptr;
    if (object == nullptr || !object->isValid() || object->valueInterface() == nullptr) {
        return;
    }
    // The bridge answers after this with an error (it knows no such
    // property); the bus passes on the first answer only.
    QDBusConnection(bridgeConnection)
        .send(
            call.createReply(QVariant::fromValue(QDBusVariant(object->text(QAccessible::Value)))));
}

}  // namespace

void installAtSpiValueText() {
    static const bool installed = [] {
        qDBusAddSpyHook(answerValueText);
        return true;
    }();
    (void)installed;
}

}  // namespace morvale::ui
