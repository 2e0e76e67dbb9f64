// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/memory/GainWatchdog.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/pipewire/memory/GainCleanup.h"

extern char** environ;

namespace morvale::pipewire {

namespace {

using namespace std::chrono_literals;

// Tells the program started by GainWatchdog::start that it is the watchdog
// and that descriptors 3 and 4 are its pipes; a cleanup run by hand has no
// such pipes.
constexpr const char* kWatchVariable = "MORVALE_PIPEWIRE_WATCHDOG";
constexpr int kAliveFd = 3;
constexpr int kReplayedFd = 4;
// The cleanup's own bound; the alarm ends the process whatever happens.
constexpr auto kCleanupTimeout = 5s;
constexpr unsigned kAlarmSeconds = 20;

void closeQuietly(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Runs in the forked child, between fork and exec: async-signal-safe calls
// only, since another thread of the parent may have held a lock at the fork.
[[noreturn]] void execWatchdog(const char* program, int alive, int replayed, char* const* argv,
                               char* const* envp) {
    // Its own session: a Ctrl-C or hang-up of the parent's terminal does not
    // reach it.
    ::setsid();
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull >= 0) {
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
    }
    // dup2 clears close-on-exec on the copies; the originals may sit on 3 or
    // 4 already, so move them out of the way first.
    const int aliveCopy = ::fcntl(alive, F_DUPFD_CLOEXEC, 10);
    const int replayedCopy = ::fcntl(replayed, F_DUPFD_CLOEXEC, 10);
    if (aliveCopy < 0 || replayedCopy < 0 || ::dup2(aliveCopy, kAliveFd) < 0 ||
        ::dup2(replayedCopy, kReplayedFd) < 0) {
        ::_exit(127);
    }
    // Nothing else of the parent's stays open: no sockets, no pipes a test
    // runner or a terminal waits on.
    ::close_range(kReplayedFd + 1, ~0u, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(program, argv, envp);
    ::_exit(127);
}

void ignoreEndingSignals() {
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGTERM, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGQUIT, SIG_IGN);
}

bool isJournalThere(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

int report(const std::string& path, const CleanupResult& result) {
    if (!result.notice.empty()) {
        std::fprintf(stderr, "morvale: cleaning up %s: %s\n", path.c_str(),
                     result.notice.c_str());
    }
    if (!result.error.empty()) {
        std::fprintf(stderr, "morvale: cleaning up %s: %s\n", path.c_str(),
                     result.error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

std::unique_ptr<GainWatchdog> GainWatchdog::start(const std::string& journalPath,
                                                  const std::string& program) {
    int alive[2];
    int replayed[2];
    if (::pipe2(alive, O_CLOEXEC) != 0) {
        return nullptr;
    }
    if (::pipe2(replayed, O_CLOEXEC) != 0) {
        ::close(alive[0]);
        ::close(alive[1]);
        return nullptr;
    }
    // Everything exec needs is made before the fork.
    std::string argument = std::string(kCleanupOption) + journalPath;
    std::string name = "morvale";
    std::vector<char*> argv{name.data(), argument.data(), nullptr};
    std::string marker = std::string(kWatchVariable) + "=1";
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with(std::string(kWatchVariable) + "=")) {
            envp.push_back(*e);
        }
    }
    envp.push_back(marker.data());
    envp.push_back(nullptr);

    // Two forks: the watchdog is the grandchild, adopted at once by init (or
    // the session's subreaper), so this process never has to reap it and never
    // signals a pid that may by then be another process's.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::close(alive[1]);
            ::close(replayed[0]);
            execWatchdog(program.c_str(), alive[0], replayed[1], argv.data(), envp.data());
        }
        ::_exit(0);
    }
    ::close(alive[0]);
    ::close(replayed[1]);
    if (child < 0) {
        ::close(alive[1]);
        ::close(replayed[0]);
        return nullptr;
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return std::unique_ptr<GainWatchdog>(new GainWatchdog(alive[1], replayed[0]));
}

GainWatchdog::~GainWatchdog() {
    closeQuietly(alive_);
    closeQuietly(replayed_);
}

bool GainWatchdog::waitUntilReplayed(std::chrono::milliseconds timeout) {
    if (replayDone_) {
        return true;
    }
    if (replayed_ < 0) {
        return false;
    }
    pollfd entry{replayed_, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char byte = 0;
        const ssize_t n = ::read(replayed_, &byte, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        closeQuietly(replayed_);
        // A byte means done; the end without one means the watchdog is gone.
        replayDone_ = n == 1;
        return replayDone_;
    }
}

int runCleanupCommand(std::string_view argument) {
    if (!argument.starts_with(kCleanupOption)) {
        return 2;
    }
    const std::string path(argument.substr(kCleanupOption.size()));
    if (path.empty()) {
        std::fprintf(stderr, "morvale: %.*s needs the journal's path\n",
                     static_cast<int>(kCleanupOption.size()), kCleanupOption.data());
        return 2;
    }
    ignoreEndingSignals();
    const char* watch = std::getenv(kWatchVariable);
    const bool watchdog = watch != nullptr && std::string_view(watch) == "1";
    if (!watchdog) {
        return report(path, cleanUpJournal(path, kCleanupTimeout));
    }
    ::unsetenv(kWatchVariable);
    ::prctl(PR_SET_NAME, "morvale-gains", 0, 0, 0);

    // An earlier run's journal first, before the new run sets anything.
    int status = 0;
    if (isJournalThere(path)) {
        ::alarm(kAlarmSeconds);
        status = report(path, cleanUpJournal(path, kCleanupTimeout));
        ::alarm(0);
    }
    const char done = 1;
    while (::write(kReplayedFd, &done, 1) < 0 && errno == EINTR) {
    }
    ::close(kReplayedFd);

    // The parent holds the write end; it closes when the parent is gone.
    char byte = 0;
    for (;;) {
        const ssize_t n = ::read(kAliveFd, &byte, 1);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            break;
        }
    }
    if (!isJournalThere(path)) {
        return status;  // the parent cleaned up itself
    }
    ::alarm(kAlarmSeconds);
    return report(path, cleanUpJournal(path, kCleanupTimeout));
}

}  // namespace morvale::pipewire
