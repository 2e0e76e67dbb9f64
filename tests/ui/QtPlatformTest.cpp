#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <numeric>
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
    std::vector<int> ran;
    bool wrongThread = false;
    const auto main = std::this_thread::get_id();
    const auto post = [&](int n) {
        queue.post([&, n] {
            ran.push_back(n);
            wrongThread = wrongThread || std::this_thread::get_id() != main;
        });
    };
    post(1);
    std::thread([&] {
        for (int n = 2; n <= 50; ++n) {
            post(n);
        }
    }).join();
    EXPECT_TRUE(ran.empty());  // never inline
    QCoreApplication::processEvents();
    std::vector<int> expected(50);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(ran, expected);
    EXPECT_FALSE(wrongThread);
}

TEST(QtTimers, TicksUntilTheHandleGoes) {
    QtTimers timers;
    int ticks = 0;
    int fired = 0;
    QElapsedTimer clock;
    clock.start();
    auto handle = timers.scheduleRepeating(std::chrono::milliseconds(20), [&] { ++ticks; });
    auto once = timers.scheduleOnce(std::chrono::milliseconds(20), [&] { ++fired; });
    while (ticks < 3 && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(ticks, 3);
    EXPECT_GE(clock.elapsed(), 55);
    handle.reset();
    QTest::qWait(100);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(fired, 1);
}

// SIGTERM ends the event loop the same way as Quit: the termination observers
// run, and a job they queue still runs before the program goes on to exit.
TEST(QuitOnSignals, ASignalEndsTheLoopThroughTheNormalPath) {
    // Observers stay registered for the application's life: these outlive the test.
    static QtMainQueue queue;
    static QtTermination termination;
    static int told = 0;
    static int stopped = 0;
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
        QTimer failsafe;
        QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(2); });
        failsafe.start(5000);

        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_EQ(quitOnSignals.received(), 1);
        EXPECT_EQ(told, round);
        QCoreApplication::sendPostedEvents();  // as the program does after exec()
        EXPECT_EQ(stopped, round);
    }
}

}  // namespace
}  // namespace morvale::qt
