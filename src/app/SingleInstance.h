// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace morvale::app {

// One running instance per user: the first to start holds a lock file and
// listens on a local socket beside it (in the user's runtime folder); a later
// start finds the lock taken and asks the running instance, over the socket,
// to open its panel.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // name: the instance's name, a file name ("io.github.morvale.Morvale").
    // folder: where the lock and the socket live; empty for the user's runtime
    // folder ($XDG_RUNTIME_DIR).
    explicit SingleInstance(const QString& name, const QString& folder = {});
    ~SingleInstance() override;

    // Tries to become the running instance. True when this process now is it
    // (also when the lock cannot be made at all, so that the program still
    // runs); false when another instance runs.
    bool claim();

    // Asks the running instance to open its panel; waits at most timeoutMs
    // for it (it may still be starting). True when the request was delivered.
    bool askRunningInstanceToOpen(int timeoutMs = 3000);

    QString socketPath() const;

signals:
    // Another start asked this instance to open its panel.
    void openRequested();

private:
    void onConnection();

    QString base_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace morvale::app
