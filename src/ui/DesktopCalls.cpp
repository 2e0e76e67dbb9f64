// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DesktopCalls.h"

#include <QCoreApplication>

#include "catalog/Grouping.h"

namespace morvale::ui {

CallGroup desktopCalls() {
    return Grouping::callStreamCalls(
        QCoreApplication::translate("DesktopCalls", "Calls").toStdString());
}

}  // namespace morvale::ui
