#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>

#include "app/SingleInstance.h"

namespace morvale::app {
namespace {

TEST(SingleInstance, ALaterStartAsksTheRunningOneToOpenItsPanel) {
    QTemporaryDir folder;
    const QString name = QStringLiteral("io.github.morvale.Morvale");
    SingleInstance first(name, folder.path());
    ASSERT_TRUE(first.claim());
    QSignalSpy opened(&first, &SingleInstance::openRequested);

    SingleInstance second(name, folder.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(second.askRunningInstanceToOpen());
    EXPECT_TRUE(opened.wait(2000));

    // Another name (the demo's) is another instance, and none answers for it.
    SingleInstance demo(name + QStringLiteral(".Demo"), folder.path());
    EXPECT_FALSE(demo.askRunningInstanceToOpen(300));
    EXPECT_TRUE(demo.claim());
}

TEST(SingleInstance, TakesOverFromAnInstanceThatDied) {
    QTemporaryDir folder;
    const QString name = QStringLiteral("morvale-test");
    // What a killed instance leaves: a lock naming a process that is gone, and
    // its socket file.
    QFile lock(folder.filePath(name + QStringLiteral(".lock")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("999999999\nmorvale\n" + QSysInfo::machineHostName().toUtf8() + '\n' +
               QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n');
    lock.close();
    QFile socket(folder.filePath(name + QStringLiteral(".socket")));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));

    SingleInstance instance(name, folder.path());
    ASSERT_TRUE(instance.claim());
    QSignalSpy opened(&instance, &SingleInstance::openRequested);
    SingleInstance later(name, folder.path());
    EXPECT_FALSE(later.claim());
    EXPECT_TRUE(later.askRunningInstanceToOpen());
    EXPECT_TRUE(opened.wait(2000));
}

}  // namespace
}  // namespace morvale::app
