// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMap>
#include <QMutex>
#include <QThread>

namespace morvale::testing {

// The watcher's D-Bus interface (org.kde.StatusNotifierWatcher), as far as
// Qt's tray icon uses it, with a host registered. As panels do, it reads each
// item's menu path when the item registers, and records both.
class TrayWatcher final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    using QObject::QObject;
    bool hostRegistered() const { return true; }

    // The bus names of the items registered so far, with the object path of
    // the menu each gave as it registered.
    QMap<QString, QString> registered() const {
        const QMutexLocker lock(&mutex_);
        return registered_;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        // An item gives its bus name, or only its object path (then its
        // sender's name counts).
        const QString name = service.startsWith('/') ? message().service() : service;
        QDBusMessage get = QDBusMessage::createMethodCall(name, "/StatusNotifierItem",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get.setArguments({"org.kde.StatusNotifierItem", "Menu"});
        // Without blocking: the item may be asking this host something meanwhile.
        auto* reply = new QDBusPendingCallWatcher(connection().asyncCall(get, 5000), this);
        connect(reply, &QDBusPendingCallWatcher::finished, this, [this, name, reply] {
            const QVariant menu =
                reply->reply().arguments().value(0).value<QDBusVariant>().variant();
            const QMutexLocker lock(&mutex_);
            registered_[name] = menu.value<QDBusObjectPath>().path();
            reply->deleteLater();
        });
    }

private:
    mutable QMutex mutex_;
    QMap<QString, QString> registered_;
};

// A StatusNotifierItem host as a desktop panel runs one, on a connection and
// a thread of its own, since Qt asks it with blocking calls from the main
// thread.
class FakeTrayHost {
public:
    FakeTrayHost() {
        watcher_->moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            watcher_,
            [this] {
                QDBusConnection bus =
                    QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-tray-host");
                bus.registerObject("/StatusNotifierWatcher", watcher_,
                                   QDBusConnection::ExportAllContents);
                bus.registerService("org.kde.StatusNotifierWatcher");
            },
            Qt::BlockingQueuedConnection);
    }
    ~FakeTrayHost() {
        QMetaObject::invokeMethod(
            watcher_,
            [this] {
                QDBusConnection("fake-tray-host")
                    .unregisterService("org.kde.StatusNotifierWatcher");
                watcher_->deleteLater();  // as the thread ends
                QDBusConnection::disconnectFromBus("fake-tray-host");
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }

    QMap<QString, QString> registered() const { return watcher_->registered(); }

private:
    QThread thread_;
    TrayWatcher* watcher_ = new TrayWatcher;  // lives in thread_
};

}  // namespace morvale::testing
