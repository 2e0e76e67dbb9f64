#include "PrivateDesktop.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace morvale::testing {

namespace {

using namespace std::chrono_literals;

// Waits until path exists, or the process ends, or time runs out.
bool waitForSocket(const std::string& path, pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(path)) {
            return true;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

}  // namespace

PrivateDesktop::PrivateDesktop(bool withDisplay) {
    std::string pattern = (std::filesystem::temp_directory_path() / "morvale-desktop-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        error_ = "cannot make a folder";
        return;
    }
    folder_ = pattern;
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    if (startBus() && withDisplay) {
        startDisplay();
    }
}

PrivateDesktop::~PrivateDesktop() {
    for (const pid_t pid : children_) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

pid_t PrivateDesktop::spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Ends with the test process, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // Its chatter would mix with the test's output.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) {
        return 0;
    }
    children_.push_back(pid);
    return pid;
}

bool PrivateDesktop::startBus() {
    const std::string socket = folder_ + "/bus";
    const std::string config = folder_ + "/bus.conf";
    std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path=" << socket
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                             "</busconfig>\n";
    const pid_t pid = spawn({"dbus-daemon", "--nofork", "--config-file=" + config});
    if (pid == 0 || !waitForSocket(socket, pid)) {
        error_ = "the session bus (dbus-daemon) did not start";
        return false;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
    return true;
}

bool PrivateDesktop::startDisplay() {
    // The first display number that is free; another Xvfb may take it first.
    for (int number = 90 + static_cast<int>(getpid() % 400), tries = 0; tries < 20;
         ++number, ++tries) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (std::filesystem::exists(socket) ||
            std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
            continue;
        }
        const std::string name = ":" + std::to_string(number);
        const pid_t pid = spawn({"Xvfb", name, "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
        if (pid == 0) {
            break;
        }
        if (waitForSocket(socket, pid)) {
            setenv("DISPLAY", name.c_str(), 1);
            return true;
        }
        // It lost the number to another server, or is too slow: try the next.
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        children_.pop_back();
    }
    error_ = "no X display (Xvfb) could be started";
    return false;
}

}  // namespace morvale::testing
