// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtTermination.h"

#include <QCoreApplication>

namespace morvale::qt {

void QtTermination::addWillTerminateObserver(std::function<void()> observer) {
    auto* app = QCoreApplication::instance();
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, std::move(observer));
}

}  // namespace morvale::qt
