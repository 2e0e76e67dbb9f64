// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace morvale::qt {

// Ends the program on SIGINT, SIGTERM and SIGHUP the same way as the panel's
// Quit: QCoreApplication::quit() on the main thread, so that the event loop
// returns, aboutToQuit is announced and the tap sessions are stopped.
//
// The signal handler only writes a byte to a pipe (all it may safely do); a
// socket notifier on the main thread reads it and quits. One instance at a
// time; the previous handlers come back when it goes.
class QuitOnSignals final : public QObject {
    Q_OBJECT
public:
    QuitOnSignals();
    ~QuitOnSignals() override;

    // The signals that arrived so far.
    int received() const { return received_; }

private:
    void onReadable();

    struct Saved;
    std::unique_ptr<Saved> saved_;
    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};

}  // namespace morvale::qt
