// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "PulseHarness.h"
#include "platform/pulse/PulseAudioSystem.h"

namespace morvale::pulse::testing {

// A private sound server for each test, and the clients a test plays on it.
class ServerTest : public ::testing::Test {
protected:
    explicit ServerTest(PulseServer::Config config = {}) : server(config) {}

    PulseAudioSystem::Options options() const {
        PulseAudioSystem::Options o;
        o.server = server.address();
        return o;
    }
    // The test player with these arguments, once it says it is ready.
    std::unique_ptr<Child> player(const std::vector<std::string>& arguments = {}) const {
        std::vector<std::string> argv{helperPath("morvale_pulse_test_player")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        auto child = std::make_unique<Child>(argv);
        EXPECT_TRUE(child->waitForOutput("ready", std::chrono::seconds(5)));
        return child;
    }
    // paplay playing a minute of a sine of the given amplitude.
    std::unique_ptr<Child> paplay(double amplitude, std::vector<std::string> argv = {}) const {
        argv.insert(argv.begin(), "paplay");
        argv.push_back(sineFile(server.folder(), amplitude, 60));
        return std::make_unique<Child>(argv);
    }
    // The level of the speakers' monitor once `recorder` has heard a while.
    static double settledLevel(const Recorder& recorder,
                               std::chrono::milliseconds wait = std::chrono::milliseconds(300)) {
        std::this_thread::sleep_for(wait);
        return recorder.level(std::chrono::milliseconds(200));
    }

    // Whether the process's first stream plays into a tap sink.
    bool tapped(pid_t pid) const { return isTapSink(server.sinkOfClientPid(pid).value_or("")); }

    PulseServer server;
    FakeIdentifier identifier;
};

}  // namespace morvale::pulse::testing
