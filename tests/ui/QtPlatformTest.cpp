#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <thread>
#include <vector>

#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtTermination.h"
#include "platform/qt/QtTimers.h"
#include "platform/qt/QuitOnSignals.h"

namespace morvale::qt {
namespace {

TEST(QtMainQueue, RunsJobsFromAnyThreadOnTheMainThreadInOrder) {
    QtMainQueue queue;
    std::vector<std::pair<int, std::thread::id>> ran;
    const auto post = [&](int n) {
        queue.post([&ran, n] { ran.emplace_back(n, std::this_thread::get_id()); });
    };
    post(0);
    std::thread([&] {
        for (int n = 1; n < 50; ++n) {
            post(n);
        }
    }).join();
    EXPECT_TRUE(ran.empty());  // never inline
    QCoreApplication::processEvents();
    ASSERT_EQ(ran.size(), 50u);
    for (int n = 0; n < 50; ++n) {
        EXPECT_EQ(ran[std::size_t(n)], std::pair(n, std::this_thread::get_id()));
    }
}

TEST(QtTimers, TicksUntilTheHandleGoesAndFiresOnceOnlyOnce) {
    QtTimers timers;
    int ticks = 0, fired = 0;
    auto handle = timers.scheduleRepeating(std::chrono::milliseconds(20), [&] { ++ticks; });
    auto once = timers.scheduleOnce(std::chrono::milliseconds(20), [&] { ++fired; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
    handle.reset();
    QTest::qWait(100);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(fired, 1);
}

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
