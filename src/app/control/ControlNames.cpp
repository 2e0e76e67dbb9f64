// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/control/ControlNames.h"

#include <QDBusMetaType>
#include <QList>
#include <QVariantMap>

namespace morvale::control {

void registerTypes() {
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

}  // namespace morvale::control
