#pragma once

#include <QMap>
#include <QMutex>
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

    // The bus names of the items registered so far, with the object path of
    // the menu each gave as it registered.
    QMap<QString, QString> registered() const {
        const QMutexLocker lock(&mutex_);
        return registered_;
    }

private:
    friend class Watcher;
    mutable QMutex mutex_;
    QMap<QString, QString> registered_;
    QThread thread_;
    QObject* context_ = new QObject;  // lives in thread_
};

}  // namespace morvale::testing
