// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include "platform/MainThread.h"

namespace morvale::qt {

// Runs posted jobs on the thread that created the queue (the main thread), one
// per turn of its event loop, in the order they were posted.
//
// Jobs still queued when the event loop ends run when the owner calls
// QCoreApplication::sendPostedEvents(); the program does so after exec()
// returns, so that jobs posted while quitting (the stopping of the tap
// sessions) still run.
class QtMainQueue final : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;
    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    // Safe from any thread while the queue exists.
    void post(std::function<void()> job) override;

private:
    QObject* receiver_;  // lives on the main thread; its queued calls are the jobs
};

}  // namespace morvale::qt
