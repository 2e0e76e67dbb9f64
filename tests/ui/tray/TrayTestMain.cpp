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

// Starts a server that prints where to reach it (the bus its address, Xvfb
// its display's number) once it is ready, and returns that line, or nothing
// if none comes within ten seconds. The server ends with the test process.
std::string startAndRead(std::vector<std::string> argv) {
    int out[2];
    if (pipe(out) != 0) {
        return {};
    }
    if (fork() == 0) {
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
    while (poll(&ready, 1, 10000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    close(out[0]);
    return c == '\n' ? line : std::string();
}

// Returns what did not start, or nothing.
const char* startDesktop(const std::string& folder) {
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    std::ofstream(folder + "/bus.conf")
        << "<busconfig><type>session</type><listen>unix:path=" << folder
        << "/bus</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
           "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
           "own=\"*\"/></policy></busconfig>\n";
    const std::string bus = startAndRead(
        {"dbus-daemon", "--nofork", "--print-address=1", "--config-file=" + folder + "/bus.conf"});
    if (bus.empty()) {
        return "the session bus (dbus-daemon) did not start";
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    if (std::strcmp(MORVALE_TRAY_TEST_PLATFORM, "offscreen") == 0) {
        return nullptr;
    }
    const std::string display = startAndRead(
        {"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
    setenv("DISPLAY", (":" + display).c_str(), 1);
    return display.empty() ? "no X display (Xvfb) could be started" : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = std::filesystem::temp_directory_path() / "morvale-desktop-XXXXXX";
    const char* failed = mkdtemp(folder.data()) ? startDesktop(folder) : "cannot make a folder";
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
