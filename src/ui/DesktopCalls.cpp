// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DesktopCalls.h"

#include <QCoreApplication>

#include "platform/linux/DesktopGrouping.h"

namespace morvale::ui {

GroupingRules desktopGrouping() {
    return LinuxDesktop::desktopGrouping(
        QCoreApplication::translate("DesktopCalls", "Calls").toStdString());
}

}  // namespace morvale::ui
