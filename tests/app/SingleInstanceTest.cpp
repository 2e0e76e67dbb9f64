// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>

#include "app/SingleInstance.h"

namespace morvale::app {
namespace {

// A start takes over from an instance that was killed, and a later start asks
// it to open its panel; another name (the demo's) is another instance.
TEST(SingleInstance, ALaterStartAsksTheRunningOneToOpenItsPanel) {
    QTemporaryDir folder;
    const QString name = QStringLiteral("io.github.morvale.Morvale");
    // What a killed instance leaves: a lock naming a process that is gone, and
    // its socket file.
    QFile lock(folder.filePath(name + QStringLiteral(".lock")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("999999999\nmorvale\n" + QSysInfo::machineHostName().toUtf8() + '\n' +
               QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n');
    lock.close();
    QFile socket(folder.filePath(name + QStringLiteral(".socket")));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));

    SingleInstance first(name, folder.path());
    ASSERT_TRUE(first.claim());
    QSignalSpy opened(&first, &SingleInstance::openRequested);
    SingleInstance second(name, folder.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(second.askRunningInstanceToOpen());
    EXPECT_TRUE(opened.wait(2000));

    SingleInstance demo(name + QStringLiteral(".Demo"), folder.path());
    EXPECT_FALSE(demo.askRunningInstanceToOpen(300));
    EXPECT_TRUE(demo.claim());
}

}  // namespace
}  // namespace morvale::app
