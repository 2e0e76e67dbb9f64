// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <csignal>

#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtTermination.h"
#include "platform/qt/QuitOnSignals.h"

namespace morvale::qt {
namespace {

// SIGTERM, SIGINT and SIGHUP end the event loop the same way as Quit: the
// termination observers run, and a job they queue still runs before the
// program goes on to exit.
TEST(QuitOnSignals, ASignalEndsTheLoopThroughTheNormalPath) {
    // Observers stay registered for the application's life: these outlive the test.
    static QtMainQueue queue;
    static QtTermination termination;
    static int told = 0, stopped = 0;
    termination.addWillTerminateObserver([] {
        ++told;
        queue.post([] { ++stopped; });
    });
    int round = 0;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        ++round;
        QuitOnSignals quitOnSignals;
        QTimer::singleShot(0, [signal] { std::raise(signal); });
        QTimer::singleShot(5000, &quitOnSignals, [] { QCoreApplication::exit(2); });  // failsafe
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_EQ(quitOnSignals.received(), 1);
        EXPECT_EQ(told, round);
        QCoreApplication::sendPostedEvents();  // as the program does after exec()
        EXPECT_EQ(stopped, round);
    }
}

}  // namespace
}  // namespace morvale::qt
