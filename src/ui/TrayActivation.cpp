// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayActivation.h"

#include <QDBusMessage>
#include <utility>

#include "ui/DBusSpyHook.h"

namespace morvale::ui {

namespace {

// Written and read in the main thread only, where QtDBus calls its hooks.
std::optional<QPoint> activationPoint;

void recordActivation(const QDBusMessage& call) {
    if (call.type() != QDBusMessage::MethodCallMessage ||
        call.interface() != QLatin1String("org.kde.StatusNotifierItem") ||
        call.member() != QLatin1String("Activate")) {
        return;
    }
    const QVariantList arguments = call.arguments();
    if (arguments.size() != 2) {
        return;
    }
    const QPoint point(arguments[0].toInt(), arguments[1].toInt());
    activationPoint = point.isNull() ? std::nullopt : std::optional<QPoint>(point);
}

}  // namespace

void installTrayActivationSpy() {
    static const bool installed = [] {
        qDBusAddSpyHook(recordActivation);
        return true;
    }();
    (void)installed;
}

std::optional<QPoint> takeTrayActivationPoint() {
    return std::exchange(activationPoint, std::nullopt);
}

}  // namespace morvale::ui
