// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "PulseHarness.h"

namespace morvale::pulse::testing {
namespace {

rlimit openFileLimit(pid_t pid) {
    rlimit limit{};
    EXPECT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &limit), 0) << "pid " << pid;
    return limit;
}

std::string commandOf(pid_t pid) {
    std::string name;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/comm"), name);
    return name;
}

// The private servers run with the open-file limit of a session's sound
// server whatever the shell that started the tests allows, and the tests
// themselves keep the shell's.
TEST(ServerOpenFileLimit, ServersGetTheHardLimitAndTheTestsKeepTheirOwn) {
    if (!PulseServer::onPipeWire()) {
        GTEST_SKIP() << "PulseAudio sets its own limit (rlimit-nofile, 256 by default)";
    }
    const rlimit shell = openFileLimit(0);
    const rlim_t session = std::min<rlim_t>(shell.rlim_max, 524288);
    struct Case {
        const char* name;
        rlim_t soft;      // the test process's soft limit when the server starts
        rlim_t expected;  // what the servers get at least
    };
    const Case cases[] = {
        {"a desktop shell's 1024", std::min<rlim_t>(1024, shell.rlim_max), session},
        // Already at the hard limit (root here): never lowered, even past
        // the cap.
        {"the hard limit", shell.rlim_max, shell.rlim_max},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const rlimit before{c.soft, shell.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &before), 0);
        {
            PulseServer server;
            for (const pid_t pid : server.pids()) {
                if (commandOf(pid) == "dbus-daemon") {
                    continue;  // the session bus sets its own
                }
                EXPECT_GE(openFileLimit(pid).rlim_cur, c.expected) << commandOf(pid);
                EXPECT_EQ(openFileLimit(pid).rlim_max, shell.rlim_max) << commandOf(pid);
            }
            EXPECT_EQ(openFileLimit(0).rlim_cur, c.soft) << "the test process's own limit";
            // Clients the tests start are applications, not servers.
            Child client({"sleep", "5"});
            EXPECT_EQ(openFileLimit(client.pid()).rlim_cur, c.soft);
        }
    }
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &shell), 0);
}

}  // namespace
}  // namespace morvale::pulse::testing
