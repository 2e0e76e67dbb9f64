// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtMainQueue.h"

#include <QMetaObject>

namespace morvale::qt {

QtMainQueue::QtMainQueue() : receiver_(new QObject) {}

QtMainQueue::~QtMainQueue() {
    delete receiver_;
}

void QtMainQueue::post(std::function<void()> job) {
    // A queued call is an event posted to the receiver's thread: thread-safe to
    // post, delivered in posting order, run by that thread's event loop.
    QMetaObject::invokeMethod(
        receiver_, [job = std::move(job)] { job(); }, Qt::QueuedConnection);
}

}  // namespace morvale::qt
