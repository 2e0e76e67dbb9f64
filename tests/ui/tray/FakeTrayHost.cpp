#include "FakeTrayHost.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace morvale::testing {

const QString connectionName = "fake-tray-host";

// The watcher's D-Bus interface, as far as Qt's tray icon uses it.
class Watcher final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    Watcher(FakeTrayHost& host, QObject* parent) : QObject(parent), host_(host) {}
    bool hostRegistered() const { return true; }

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
            const QMutexLocker lock(&host_.mutex_);
            host_.registered_[name] = menu.value<QDBusObjectPath>().path();
            reply->deleteLater();
        });
    }

private:
    FakeTrayHost& host_;
};

FakeTrayHost::FakeTrayHost() {
    context_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        context_,
        [this] {
            QDBusConnection bus =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
            bus.registerObject("/StatusNotifierWatcher", new Watcher(*this, context_),
                               QDBusConnection::ExportAllContents);
            bus.registerService("org.kde.StatusNotifierWatcher");
        },
        Qt::BlockingQueuedConnection);
}

FakeTrayHost::~FakeTrayHost() {
    QMetaObject::invokeMethod(
        context_,
        [this] {
            QDBusConnection(connectionName).unregisterService("org.kde.StatusNotifierWatcher");
            context_->deleteLater();  // with the watcher, as the thread ends
            QDBusConnection::disconnectFromBus(connectionName);
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

}  // namespace morvale::testing

#include "FakeTrayHost.moc"
