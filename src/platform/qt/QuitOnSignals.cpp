// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QuitOnSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <cerrno>

namespace morvale::qt {

namespace {

constexpr std::array quitSignals{SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe, for the handler; -1 while no instance exists.
volatile sig_atomic_t writeFd = -1;

extern "C" void onQuitSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe means a quit is already on its way; nothing more to do.
    [[maybe_unused]] const auto written = ::write(writeFd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

struct QuitOnSignals::Saved {
    std::array<int, 2> fds{-1, -1};
    std::array<struct sigaction, quitSignals.size()> previous{};
};

QuitOnSignals::QuitOnSignals() : saved_(std::make_unique<Saved>()) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, saved_->fds.data()) !=
        0) {
        return;  // signals then keep their default action: the program still ends
    }
    writeFd = saved_->fds[0];

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < quitSignals.size(); ++i) {
        ::sigaction(quitSignals[i], &action, &saved_->previous[i]);
    }

    notifier_ = new QSocketNotifier(saved_->fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::onReadable);
}

QuitOnSignals::~QuitOnSignals() {
    if (saved_->fds[0] < 0) {
        return;
    }
    for (std::size_t i = 0; i < quitSignals.size(); ++i) {
        ::sigaction(quitSignals[i], &saved_->previous[i], nullptr);
    }
    writeFd = -1;
    delete notifier_;
    ::close(saved_->fds[0]);
    ::close(saved_->fds[1]);
}

void QuitOnSignals::onReadable() {
    std::array<char, 64> buffer{};
    ssize_t n = 0;
    while ((n = ::read(saved_->fds[1], buffer.data(), buffer.size())) > 0) {
        received_ += static_cast<int>(n);
    }
    QCoreApplication::quit();
}

}  // namespace morvale::qt
