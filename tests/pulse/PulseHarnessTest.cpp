// The harness itself: a server that never comes up must not leave its
// processes behind (they hold the test runner's output open, which then waits
// for its timeout) nor its temporary folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "PulseHarness.h"

namespace morvale::pulse::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Puts stand-ins for every server program first on PATH for as long as it
// lives. Each stand-in notes its pid, the HOME it was given and whether
// PipeWire's socket already existed when it started; after a moment it makes
// its own socket (a plain file) and then sleeps without ever serving, as a
// server that is slow to start and then hangs would.
class SilentServers {
public:
    SilentServers() {
        char pattern[] = "/tmp/morvale-silent-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp");
        }
        folder_ = pattern;
        const std::vector<std::pair<const char*, const char*>> sockets{
            {"pulseaudio", "$PULSE_RUNTIME_PATH/native"},
            {"dbus-daemon", "${address#--address=unix:path=}"},
            {"pipewire", "$XDG_RUNTIME_DIR/pipewire-0"},
            {"wireplumber", ""},
            {"pipewire-pulse", "$XDG_RUNTIME_DIR/pulse/native"}};
        for (const auto& [name, socket] : sockets) {
            const std::string path = folder_ + "/" + name;
            std::ofstream script(path);
            script << "#!/bin/sh\n"
                   << "for a in \"$@\"; do case $a in --address=*) address=$a;; esac; done\n"
                   << "pw=early; [ -e \"$XDG_RUNTIME_DIR/pipewire-0\" ] && pw=after\n"
                   << "echo \"$$ $HOME " << name << " $pw\" >> " << folder_ << "/started\n"
                   << "sleep 0.1\n";
            if (*socket != '\0') {
                script << "s=\"" << socket << "\"; mkdir -p \"$(dirname \"$s\")\"; touch \"$s\"\n";
            }
            script << "exec sleep 30\n";
            script.close();
            ::chmod(path.c_str(), 0755);
        }
    const char* path = std::getenv("PATH");
        oldPath_ = path != nullptr ? path : "/usr/bin:/bin";
        ::setenv("PATH", (folder_ + ":" + oldPath_).c_str(), 1);
    }
    ~SilentServers() {
        ::setenv("PATH", oldPath_.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    SilentServers(const SilentServers&) = delete;
    SilentServers& operator=(const SilentServers&) = delete;

    struct Started {
        pid_t pid;
        std::string home;
        std::string name;
        std::string pipewireSocket;  // "after" when it existed at the start
    };
    std::vector<Started> started() const {
        std::vector<Started> all;
        std::ifstream in(folder_ + "/started");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            Started s{};
            if (fields >> s.pid >> s.home >> s.name >> s.pipewireSocket) {
                all.push_back(s);
            }
        }
        return all;
    }

private:
    std::string folder_;
    std::string oldPath_;
};

TEST(PulseHarness, AServerThatNeverComesUpLeavesNothingBehind) {
    SilentServers silent;
    PulseServer::Config config;
    config.startTimeout = 1s;
    EXPECT_THROW(PulseServer server(config), std::runtime_error);

    const auto started = silent.started();
    // PulseAudio is one process; PipeWire brings a bus, a session manager
    // and its PulseAudio server along. Its clients give up when PipeWire's
    // socket is not there yet, so they must be started only after it is.
    ASSERT_EQ(started.size(), PulseServer::onPipeWire() ? 4u : 1u);
    for (const auto& s : started) {
        if (s.name == "wireplumber" || s.name == "pipewire-pulse") {
            EXPECT_EQ(s.pipewireSocket, "after") << s.name << " started before PipeWire's socket";
        }
        // Ended and reaped: not even a zombie is left to signal.
        errno = 0;
        EXPECT_EQ(::kill(s.pid, 0), -1) << "pid " << s.pid << " still runs";
        EXPECT_EQ(errno, ESRCH);
        // The folder is HOME's parent.
        EXPECT_FALSE(fs::exists(fs::path(s.home).parent_path())) << s.home;
    }
}

}  // namespace
}  // namespace morvale::pulse::testing
