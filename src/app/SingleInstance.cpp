// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace morvale::app {

namespace {

const QByteArray openRequest = QByteArrayLiteral("open\n");

}  // namespace

SingleInstance::SingleInstance(const QString& name, const QString& folder) {
    QString dir = folder;
    if (dir.isEmpty()) {
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    if (dir.isEmpty()) {
        dir = QDir::tempPath();
    }
    base_ = QDir(dir).filePath(name);
}

SingleInstance::~SingleInstance() {
    if (server_ != nullptr) {
        server_->close();  // removes the socket file
    }
}

QString SingleInstance::socketPath() const {
    return base_ + QStringLiteral(".socket");
}

bool SingleInstance::claim() {
    lock_ = std::make_unique<QLockFile>(base_ + QStringLiteral(".lock"));
    // Only a lock whose process has died is stale, however old it is.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        if (lock_->error() == QLockFile::LockFailedError) {
            return false;
        }
        return true;  // no lock possible here: run without the guard
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath());  // left behind by an instance that died
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    server_->listen(socketPath());
    return true;
}

bool SingleInstance::askRunningInstanceToOpen(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(openRequest);
            const bool sent =
                socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
            socket.disconnectFromServer();
            return sent;
        }
        // The running instance holds the lock but may not be listening yet.
        QThread::msleep(100);
    }
    return false;
}

void SingleInstance::onConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto readRequests = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == openRequest) {
                    emit openRequested();
                }
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequests);
        readRequests();  // what arrived with the connection
    }
}

}  // namespace morvale::app
