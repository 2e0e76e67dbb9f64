#include "app/DesktopCalls.h"

#include <QCoreApplication>

#include "catalog/Grouping.h"

namespace morvale::app {

CallGroup desktopCalls() {
    return Grouping::callStreamCalls(
        QCoreApplication::translate("DesktopCalls", "Calls").toStdString());
}

}  // namespace morvale::app
