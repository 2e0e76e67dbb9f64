// The tray tests run in a desktop session of their own: a runtime folder, a
// session bus with nothing on it (no service is started on demand) and,
// unless asked to run on Qt's offscreen platform, an X display (Xvfb) with no
// window manager and no tray (Qt's tray icon speaks D-Bus to tray hosts only
// on a desktop platform). Both are started before Qt first looks for a tray,
// and hold no tray until a test makes one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Starts the program with its output on a pipe, and returns the first line it
// writes there within ten seconds (empty if none comes). It ends with the
// test process, however that ends.
std::string startAndRead(std::vector<std::string> argv) {
    int out[2];
    if (pipe(out) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        signal(SIGPIPE, SIG_IGN);  // outlives the pipe's reader
        dup2(out[1], 1);
        dup2(open("/dev/null", O_WRONLY), 2);  // its chatter would mix with the tests'
        std::vector<char*> args;
        for (auto& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c = 0;
    pollfd ready{out[0], POLLIN, 0};
    while (pid > 0 && poll(&ready, 1, 10000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    close(out[0]);
    return c == '\n' ? line : std::string();
}

// Each prints where to reach it once it is ready: the bus its address, Xvfb
// the number of the first free display. Returns what did not start.
const char* startDesktop(const std::string& folder, bool withDisplay) {
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    const std::string config = folder + "/bus.conf";
    std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path=" << folder
                          << "/bus</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                             "</busconfig>\n";
    const std::string bus =
        startAndRead({"dbus-daemon", "--nofork", "--print-address=1", "--config-file=" + config});
    if (bus.empty()) {
        return "the session bus (dbus-daemon) did not start";
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    if (!withDisplay) {
        return nullptr;
    }
    const std::string display = startAndRead(
        {"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
    if (display.empty()) {
        return "no X display (Xvfb) could be started";
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = std::filesystem::temp_directory_path() / "morvale-desktop-XXXXXX";
    const bool offscreen = std::strcmp(MORVALE_TRAY_TEST_PLATFORM, "offscreen") == 0;
    const char* failed = mkdtemp(folder.data()) == nullptr ? "cannot make a folder"
                                                           : startDesktop(folder, !offscreen);
    int result = 1;
    if (failed != nullptr) {
        std::fprintf(stderr, "%s\n", failed);
    } else {
        qputenv("QT_QPA_PLATFORM", MORVALE_TRAY_TEST_PLATFORM);
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
