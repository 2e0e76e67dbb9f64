#pragma once

#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QThread>

namespace morvale::testing {

// A StatusNotifierItem host as a desktop panel runs one: the watcher service
// (org.kde.StatusNotifierWatcher) with a host registered, which records the
// items that register and, as panels do, reads each one's menu path when it
// registers. It answers from a thread of its own, since Qt asks it with
// blocking calls from the main thread.
class FakeTrayHost {
public:
    FakeTrayHost();
    ~FakeTrayHost();

    // The bus names of the items registered so far.
    QStringList items() const;
    // The menu's object path that the item gave as it registered.
    QString menuAtRegistration(const QString& item) const;

private:
    friend class Watcher;
    mutable QMutex mutex_;
    QStringList items_;
    QMap<QString, QString> menus_;
    QThread thread_;
    QObject* context_;  // lives in thread_
};

}  // namespace morvale::testing
