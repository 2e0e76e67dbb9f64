// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/Watchdog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "platform/pulse/PulseAudioSystem.h"

namespace morvale::pulse {

namespace {

class NoIdentifier final : public LinuxDesktop::AppIdentifier {
public:
    std::optional<std::string> desktopId(const LinuxDesktop::ClientHints&) const override {
        return std::nullopt;
    }
};

// Runs in the child: returns only by ending the process.
[[noreturn]] void watch(int parentGone, const std::string& server,
                        std::chrono::milliseconds timeout) {
    // The child must outlive a Ctrl-C or a hang-up that ends its parent.
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGTERM, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    ::prctl(PR_SET_NAME, "morvale-watch", 0, 0, 0);
    // Hold on to nothing of the parent's but the pipe: no terminal, no sockets,
    // no pipes that a test runner waits on.
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull >= 0) {
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
    }
    ::dup2(parentGone, 3);
    ::close_range(4, ~0u, 0);

    // The parent holds the write end; it closes when the parent is gone.
    char byte = 0;
    while (::read(3, &byte, 1) != 0) {
        if (errno != EINTR) {
            break;
        }
    }

    // Whatever happens from here on, the watchdog does not linger.
    ::alarm(static_cast<unsigned>(10 + 3 * timeout.count() / 1000));

    PulseAudioSystem::Options options;
    options.server = server;
    options.timeout = timeout;
    options.watchdog = false;
    options.realtime = false;
    const NoIdentifier identifier;
    {
        // Connecting sweeps the sinks of dead owners; wait until that is done.
        PulseAudioSystem backend(identifier, options);
        const auto deadline = std::chrono::steady_clock::now() + 3 * timeout;
        while (std::chrono::steady_clock::now() < deadline &&
               (backend.connectionState() != PulseAudioSystem::ConnectionState::ready ||
                backend.hasOrphanedSinks())) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ::_exit(0);
}

}  // namespace

void ensureWatchdog(const std::string& server, std::chrono::milliseconds timeout) {
    static std::once_flag started;
    std::call_once(started, [&] {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[1]);
            watch(fds[0], server, timeout);
        }
        ::close(fds[0]);
        if (child < 0) {
            ::close(fds[1]);
        }
        // The write end stays open for the life of this process, on purpose.
    });
}

}  // namespace morvale::pulse
