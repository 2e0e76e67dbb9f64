// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/pulse/server/ProcessFacts.h"

namespace morvale::pulse {
namespace {

namespace fs = std::filesystem;

// A proc file system laid out in a temporary folder.
class FakeProc {
public:
    FakeProc() {
        root_ = fs::temp_directory_path() / ("morvale-proc-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~FakeProc() { fs::remove_all(root_); }

    // nsPids: outermost first; state 'S' or 'Z'.
    void add(std::int32_t pid, const std::string& comm, std::vector<std::int32_t> nsPids,
             char state = 'S', const std::string& start = "4242") {
        const fs::path dir = root_ / std::to_string(pid);
        fs::create_directories(dir);
        std::ofstream(dir / "comm") << comm << "\n";
        std::string ns = "NSpid:";
        for (const auto p : nsPids) {
            ns += "\t" + std::to_string(p);
        }
        std::ofstream(dir / "status") << "Name:\t" << comm << "\nState:\tS\n" << ns << "\n";
        std::string stat = std::to_string(pid) + " (" + comm + " (x)) " + state;
        for (int field = 4; field <= 21; ++field) {
            stat += " 0";
        }
        std::ofstream(dir / "stat") << stat << " " << start << " 0 0\n";
    }
    std::string root() const { return root_.string(); }

private:
    fs::path root_;
};

TEST(ProcessFacts, TrustsOnlyPidsThatFitTheClient) {
    FakeProc proc;
    proc.add(2, "kthreadd", {2});
    proc.add(500, "firefox", {500});
    proc.add(501, "pipewire-pulse", {501});
    proc.add(900, "spotify", {900, 2});  // sandboxed: pid 2 inside its sandbox
    proc.add(901, "app", {901, 7});
    proc.add(902, "app", {902, 7});  // two sandboxes with the same inner pid
    const ProcessFacts facts(proc.root(), "desk");

    struct Case {
        const char* name;
        PidClaim claim;
        std::int32_t expected;
    };
    const auto none = std::nullopt;
    const std::vector<Case> cases = {
        {"socket credentials of the client's own process", {900, 2, "spotify", none}, 900},
        {"socket credentials of a proxy server are not the client's",
         {501, 500, "firefox", none},
         500},
        {"socket credentials alone, binary fits", {500, none, "firefox", none}, 500},
        {"socket credentials alone, binary does not fit", {501, none, "firefox", none}, 0},
        {"a host process with the same binary", {none, 500, "firefox", "desk"}, 500},
        {"no binary to compare", {none, 500, none, none}, 500},
        {"a pid that belongs to another program", {none, 500, "spotify", none}, 0},
        {"a sandbox pid maps back to its host pid", {none, 2, "spotify", none}, 900},
        {"two sandboxes match: ambiguous", {none, 7, "app", none}, 0},
        {"another host", {none, 500, "firefox", "laptop"}, 0},
        {"no pid at all", {none, none, "firefox", none}, 0},
        {"a pid that does not run", {none, 777, "firefox", none}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(facts.hostPid(c.claim), c.expected);
    }
}

// Taps that capture processes by name compare it as the process list reads
// it: a newline inside a name is part of it. A process that does not run
// (or is a zombie) has no start time, which guards against a reused pid.
TEST(ProcessFacts, ShortNameIsTheWholeNameAndStartTimeOnlyOfRunningProcesses) {
    FakeProc proc;
    proc.add(10, "two\nlines", {10}, 'S', "777");
    proc.add(11, "zombie", {11}, 'Z', "778");
    const ProcessFacts facts(proc.root(), "desk");
    EXPECT_EQ(facts.shortName(10), "two\nlines");
    EXPECT_EQ(facts.shortName(12), "");
    EXPECT_EQ(facts.startTime(10), "777");
    EXPECT_EQ(facts.startTime(11), "");
    EXPECT_EQ(facts.startTime(12), "");
    // The real one: this process runs.
    EXPECT_FALSE(ProcessFacts().startTime(static_cast<std::int32_t>(::getpid())).empty());
}

}  // namespace
}  // namespace morvale::pulse
