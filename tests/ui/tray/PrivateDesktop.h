#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace morvale::testing {

// A desktop session of the test process's own: a session bus with nothing on
// it (no service is started on demand), a runtime folder, and, when asked, an
// X display (Xvfb) with no window manager and no tray. It is started before
// Qt connects to any of them, points the environment at them, and ends them
// when it goes.
class PrivateDesktop {
public:
    explicit PrivateDesktop(bool withDisplay);
    ~PrivateDesktop();
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    // Empty when all started.
    const std::string& error() const { return error_; }
    bool ok() const { return error_.empty(); }

private:
    pid_t spawn(const std::vector<std::string>& argv);
    bool startBus();
    bool startDisplay();

    std::string folder_;
    std::string error_;
    std::vector<pid_t> children_;
};

}  // namespace morvale::testing
