// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayWatch.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QSystemTrayIcon>
#include <QTimer>

namespace morvale::ui {

namespace {

constexpr int pollMs = 2000;
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

}  // namespace

TrayWatch::TrayWatch(bool allowRestart, QObject* parent)
    : QObject(parent),
      allowRestart_(allowRestart),
      poll_(new QTimer(this)),
      grace_(new QTimer(this)) {
    connect(poll_, &QTimer::timeout, this, &TrayWatch::check);
    grace_->setSingleShot(true);
    grace_->setInterval(serviceGraceMs);
    connect(grace_, &QTimer::timeout, this, [this] {
        if (!QSystemTrayIcon::isSystemTrayAvailable() && allowRestart_) {
            poll_->stop();
            emit restartNeeded();
        }
    });
}

void TrayWatch::start() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    poll_->start(pollMs);
    auto* watcher = new QDBusServiceWatcher(watcherService, QDBusConnection::sessionBus(),
                                            QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &TrayWatch::onServiceRegistered);
}

void TrayWatch::check() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    poll_->stop();
    grace_->stop();
    emit trayAppeared();
}

void TrayWatch::onServiceRegistered() {
    // Give the service a moment to find its host, then see whether Qt uses it.
    check();
    if (poll_->isActive()) {
        grace_->start();
    }
}

}  // namespace morvale::ui
