// SPDX-License-Identifier: GPL-3.0-or-later
// Voice calls through the whole model on the libpulse backend, against a
// private sound server: a "phone" stream or an application that records from
// a microphone while it plays makes a call, the boost lifts the other
// applications while it lasts, and the Calls row holds the call streams only.
#include <signal.h>

#include <cmath>
#include <cstdio>

#include "ModelOnServer.h"
#include "catalog/Grouping.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;
const std::string kCallsRow(Grouping::callRowKey);

class Calls : public ModelOnServer {
protected:
    explicit Calls(PulseServer::Config config = {}) : ModelOnServer(config) {}

    // A silent voice call, as a phone application's stream.
    std::unique_ptr<Child> phoneCall() { return paplay(0.0, {"--property=media.role=phone"}); }
    // Whether module-role-cork silences the process's (only) stream.
    bool silencedByRoleCork(pid_t pid) const {
        const auto blocks =
            server.sinkInputsWith("application.process.id = \"" + std::to_string(pid) + "\"");
        return blocks.size() == 1 && blocks.front().find("Mute: yes") != std::string::npos;
    }
};

TEST_F(Calls, APhoneStreamMakesACallAndTheBoostLiftsTheOtherApplications) {
    Recorder recorder(server.address(), "speakers.monitor");
    auto music = player({"--amplitude=0.2"});
    ASSERT_TRUE(until([&] { return rowOf(music->pid()) != nullptr; }));
    const double direct = settledLevel(recorder);
    ASSERT_GT(direct, 0.1);
    model->setDuckBoost(6.0);
    EXPECT_FALSE(model->callActive());

    if (!PulseServer::onPipeWire()) {
        // A plain PulseAudio lowers nothing during a call: the boost has
        // nothing to undo, and lifts nothing.
        auto call = phoneCall();
        ASSERT_TRUE(until([&] { return model->callActive(); }));
        EXPECT_TRUE(model->boostHasNothingToUndo());
        std::this_thread::sleep_for(1s);
        std::printf("boost 6 dB, nothing ducked: %.3f of the level before the call\n",
                    recorder.level(200ms) / direct);
        EXPECT_NEAR(recorder.level(200ms) / direct, 1.0, 0.03);
        call->terminate();
        ASSERT_TRUE(until([&] { return !model->callActive(); }));
        // With role-ducking it lowers by 12 dB (streams of the music and
        // video roles: not this one): a 6 dB boost lifts all of its 6 dB.
        server.pactl("load-module module-role-ducking volume=-12dB");
        ASSERT_TRUE(until([&] { return model->callDuckingDB() == 12.0; }));
    }

    auto call = phoneCall();
    ASSERT_TRUE(until([&] { return model->callActive(); }));
    ASSERT_NE(rowOf(call->pid(), true), nullptr);
    EXPECT_EQ(rowOf(call->pid(), true)->id, kCallsRow);

    // 6 dB up: 10^(6/20) = 1.995 times the level, and it stays while the call lasts.
    EXPECT_TRUE(recorder.reaches(1.995, direct, 3s, 0.03 * 1.995));
    std::this_thread::sleep_for(600ms);
    EXPECT_NEAR(recorder.typicalLevel(600ms) / direct, 1.995, 0.03 * 1.995);

    call->terminate();
    ASSERT_TRUE(until([&] { return !model->callActive(); }));
    EXPECT_TRUE(recorder.reaches(1.0, direct, 3s));
    std::this_thread::sleep_for(600ms);
    EXPECT_NEAR(recorder.typicalLevel(600ms) / direct, 1.0, 0.03);
}

TEST_F(Calls, RecordingFromAMicrophoneWhilePlayingMakesACall) {
    // A microphone of the private server: a source that is no monitor (it
    // records the speakers' monitor; both servers have the module).
    server.pactl("load-module module-remap-source source_name=mic master=speakers.monitor");
    ASSERT_TRUE(eventually(
        [&] { return server.pactl("list short sources").find("\tmic\t") != std::string::npos; }));
    // A microphone open while nothing plays yet: listed, recording, no call.
    auto browser = player({"--corked", "--record=mic"});
    sim.processes.applications[browser->pid()] =
        RunningApplication{"Browser", ActivationPolicy::regular};
    ASSERT_TRUE(until([&] { return rowOf(browser->pid()) && rowOf(browser->pid())->isRecording; }));
    EXPECT_FALSE(model->callActive());

    // It plays: a call, from the backend's news alone (the clock stands
    // still, so the periodic refresh can not be what finds it).
    browser->signal(SIGUSR2);
    ASSERT_TRUE(browser->waitForOutput("uncorked", 3s));
    const auto uncorked = std::chrono::steady_clock::now();
    EXPECT_TRUE(eventually([&] {
        sim.mainQueue.drain();
        return model->callActive();
    }));
    std::printf("microphone of a playing application to a call: %lld ms\n",
                msSince(uncorked));
    browser.reset();
    EXPECT_TRUE(until([&] { return !model->callActive(); }));
}

class CallsWithRoleCork : public Calls {
protected:
    CallsWithRoleCork() : Calls({.roleCork = true}) {}
};

// module-role-cork silences music while a call plays, but only among the
// streams of the call's own sink: a tapped stream in its tap sink would play
// on through the call. It is silenced as it is untapped, and the replay,
// which carries every tapped stream, is never touched by the module; nor is
// the music beside a tapped call (its row turned down).
TEST_F(CallsWithRoleCork, MusicIsSilencedDuringACallWhetherItOrTheCallIsTapped) {
    if (PulseServer::onPipeWire()) {
        GTEST_SKIP() << "PipeWire's server has no module-role-cork";
    }
    Recorder recorder(server.address(), "speakers.monitor");
    auto music = player({"--role=music", "--amplitude=0.4"});
    ASSERT_TRUE(until([&] { return rowOf(music->pid()) != nullptr; }));
    const std::string key = rowOf(music->pid())->id;
    const double direct = settledLevel(recorder);
    ASSERT_GT(direct, 0.1);

    struct Case {
        const char* what;
        double musicVolume, callVolume;
        double level;  // the music's before and after the call
    };
    for (const Case c : {Case{"untapped", 1.0, 1.0, 1.0}, Case{"music tapped", 0.5, 1.0, 0.25},
                         Case{"call tapped", 1.0, 0.5, 1.0}}) {
        SCOPED_TRACE(c.what);
        model->setVolume(key, c.musicVolume);
        model->setVolume(kCallsRow, c.callVolume);
        const bool musicTapped = c.musicVolume < 1.0, callTapped = c.callVolume < 1.0;
        ASSERT_TRUE(eventually([&] { return tapped(music->pid()) == musicTapped; }));
        EXPECT_TRUE(recorder.reaches(c.level, direct, 3s));

        auto call = phoneCall();
        ASSERT_TRUE(until([&] { return model->callActive(); }));
        EXPECT_TRUE(eventually([&] { return tapped(call->pid()) == callTapped; }));
        EXPECT_EQ(tapped(music->pid()), musicTapped);
        EXPECT_TRUE(eventually([&] { return silencedByRoleCork(music->pid()); }));
        EXPECT_TRUE(eventually([&] { return recorder.level(200ms) < 0.01; }));
        if (!callTapped) {
            const auto replays = server.sinkInputsWith("morvale.stream = \"replay\"");
            EXPECT_EQ(replays.size(), musicTapped ? 1u : 0u);
            for (const std::string& replay : replays) {
                EXPECT_EQ(replay.find("Mute: yes"), std::string::npos);
                EXPECT_NE(replay.find("Corked: no"), std::string::npos);
                EXPECT_EQ(replay.find("media.role = \"phone\""), std::string::npos);
            }
        }

        call->terminate();
        ASSERT_TRUE(until([&] { return !model->callActive(); }));
        EXPECT_TRUE(eventually([&] { return !silencedByRoleCork(music->pid()); }));
        EXPECT_TRUE(recorder.reaches(c.level, direct, 3s));
        // Nothing of the mirrors is left once the call is over.
        EXPECT_TRUE(server.sinkInputsWith("morvale.stream = \"call-mirror\"").empty());
    }
}

}  // namespace
}  // namespace morvale::pulse::testing
