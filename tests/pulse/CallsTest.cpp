// Voice calls through the whole model on the libpulse backend, against a
// private sound server: a "phone" stream or an application that records from
// a microphone while it plays makes a call, the boost lifts the other
// applications while it lasts, and the Calls row holds the call streams only.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>

#include "PulseHarness.h"
#include "audio/AudioProcess.h"
#include "catalog/Grouping.h"
#include "platform/pulse/PulseAudioSystem.h"
#include "platform/sim/ModelTesting.h"
#include "platform/sim/SimPlatform.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
    return static_cast<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class Calls : public ::testing::Test {
protected:
    explicit Calls(PulseServer::Config config = {}) : server(config) {
        PulseAudioSystem::Options options;
        options.server = server.address();
        hw = std::make_unique<PulseAudioSystem>(identifier, options);
        sim.calls = Grouping::callStreamCalls("Calls");
        model = ModelTesting::make(Platform{*hw, sim.processes, sim.processes, sim.workspace,
                                            sim.collator, sim.settings, sim.loginItem,
                                            sim.mainQueue, sim.timers, sim.termination, sim.calls});
    }
    ~Calls() override {
        model.reset();  // its sessions end before the backend does
        hw.reset();
    }

    // Runs the main thread as the program does until `done`: what the
    // backend's news queued, and the model's periodic refresh on the real
    // clock (for what changes without a process coming or going, such as a
    // stream that is listed first and plays a moment later).
    bool until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 3s) {
        auto last = Clock::now();
        return eventually(
            [&] {
                const auto now = Clock::now();
                sim.advance(std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
                last = now;
                return done();
            },
            timeout);
    }

    // The row that holds one of the process's objects.
    const AppEntry* rowOf(pid_t pid, bool call = false) {
        for (const AudioProcess& p : AudioProcess::all({*hw, sim.processes, sim.processes})) {
            if (p.pid != pid || (p.bundleID == std::string(kCallStreamsBundleID)) != call) {
                continue;
            }
            for (const AppEntry& entry : model->entries()) {
                if (std::find(entry.objects.begin(), entry.objects.end(), p.objectID) !=
                    entry.objects.end()) {
                    return &entry;
                }
            }
        }
        return nullptr;
    }
    std::unique_ptr<Child> player(std::vector<std::string> extra) {
        std::vector<std::string> argv{helperPath("morvale_pulse_test_player")};
        argv.insert(argv.end(), extra.begin(), extra.end());
        auto child = std::make_unique<Child>(argv);
        EXPECT_TRUE(child->waitForOutput("ready", 5s));
        return child;
    }
    // A silent voice call, as a phone application's stream.
    std::unique_ptr<Child> phoneCall() {
        return std::make_unique<Child>(std::vector<std::string>{
            "paplay", "--property=media.role=phone", sineFile(server.folder(), 0.0, 60)});
    }
    // A microphone of the private server: a source that is no monitor (it
    // records the speakers' monitor; both servers have the module).
    void addMicrophone() {
        server.pactl("load-module module-remap-source source_name=mic master=speakers.monitor");
        ASSERT_TRUE(eventually([&] {
            return server.pactl("list short sources").find("\tmic\t") != std::string::npos;
        }));
    }

    PulseServer server;
    FakeIdentifier identifier;
    sim::SimPlatform sim;
    std::unique_ptr<PulseAudioSystem> hw;
    std::unique_ptr<Model> model;
};

TEST_F(Calls, APhoneStreamMakesACallAndTheBoostLiftsTheOtherApplications) {
    Recorder recorder(server.address(), "speakers.monitor");
    auto music = player({"--amplitude=0.2"});
    ASSERT_TRUE(until([&] { return rowOf(music->pid()) != nullptr; }));
    std::this_thread::sleep_for(300ms);
    const double direct = recorder.level(200ms);
    ASSERT_GT(direct, 0.1);
    model->setDuckBoost(6.0);
    EXPECT_FALSE(model->callActive());

    const auto started = Clock::now();
    auto call = phoneCall();
    ASSERT_TRUE(until([&] { return model->callActive(); }));
    std::printf("call active in the model %lld ms after the phone stream's client started\n",
                msSince(started));
    ASSERT_NE(rowOf(call->pid(), true), nullptr);
    EXPECT_EQ(rowOf(call->pid(), true)->id, Grouping::faceTimeKey);

    // 6 dB up: 10^(6/20) = 1.995 times the level.
    const auto ratio = [&] { return recorder.level(200ms) / direct; };
    EXPECT_TRUE(eventually([&] { return std::abs(ratio() / 1.995 - 1.0) < 0.03; }));
    std::this_thread::sleep_for(200ms);
    const double boosted = ratio();
    std::printf("level during the call: %.3f of the level before it\n", boosted);
    EXPECT_NEAR(boosted / 1.995, 1.0, 0.03);

    call->terminate();
    ASSERT_TRUE(until([&] { return !model->callActive(); }));
    EXPECT_TRUE(eventually([&] { return std::abs(ratio() - 1.0) < 0.03; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_NEAR(ratio(), 1.0, 0.03);
}

TEST_F(Calls, TheCallsRowsVolumeChangesOnlyTheCallStreams) {
    Recorder recorder(server.address(), "speakers.monitor");
    // One application: a silent music stream, and a call stream with the sound.
    auto app = player({"--streams=2", "--last-role=phone", "--sound=last", "--amplitude=0.4"});
    ASSERT_TRUE(until([&] { return rowOf(app->pid(), true) && model->callActive(); }));
    ASSERT_NE(rowOf(app->pid()), nullptr);
    EXPECT_NE(rowOf(app->pid())->id, Grouping::faceTimeKey);
    std::this_thread::sleep_for(300ms);
    const double direct = recorder.level(200ms);
    ASSERT_GT(direct, 0.1);

    model->setVolume(std::string(Grouping::faceTimeKey), 0.5);  // gain 0.25
    EXPECT_TRUE(eventually([&] { return std::abs(recorder.level(200ms) / direct - 0.25) < 0.03; }));
    const auto sinks = server.sinksOfClientPid(app->pid());
    ASSERT_EQ(sinks.size(), 2u);
    EXPECT_EQ(sinks[0], "speakers");  // the music stays where it was
    EXPECT_EQ(sinks[1].rfind("morvale_tap_", 0), 0u) << sinks[1];

    model->setVolume(std::string(Grouping::faceTimeKey), 1.0);
    EXPECT_TRUE(eventually([&] { return std::abs(recorder.level(200ms) / direct - 1.0) < 0.03; }));
    EXPECT_EQ(server.sinksOfClientPid(app->pid()),
              (std::vector<std::string>{"speakers", "speakers"}));
}

TEST_F(Calls, RecordingFromAMicrophoneWhilePlayingMakesACall) {
    addMicrophone();
    // Recording what a sink plays is no call.
    auto meter = player({"--record=speakers.monitor"});
    // (Whether a stream plays can change after it is listed: a refresh later.)
    ASSERT_TRUE(until([&] { return rowOf(meter->pid()) && rowOf(meter->pid())->isPlaying; }));
    EXPECT_FALSE(rowOf(meter->pid())->isRecording);
    EXPECT_FALSE(model->callActive());
    meter.reset();

    // A microphone open while nothing plays yet: listed, recording, no call.
    auto browser = player({"--corked", "--record=mic"});
    sim.processes.applications[browser->pid()] =
        RunningApplication{"Browser", ActivationPolicy::regular};
    ASSERT_TRUE(until([&] { return rowOf(browser->pid()) && rowOf(browser->pid())->isRecording; }));
    EXPECT_FALSE(model->callActive());

    browser->signal(SIGUSR2);  // it plays: a call
    ASSERT_TRUE(browser->waitForOutput("uncorked", 3s));
    EXPECT_TRUE(until([&] { return model->callActive(); }));
    browser.reset();
    EXPECT_TRUE(until([&] { return !model->callActive(); }));
}

// The blocks of "pactl list sink-inputs" that contain `text`.
std::vector<std::string> sinkInputsWith(const PulseServer& server, const std::string& text) {
    const std::string listing = server.pactl("list sink-inputs");
    std::vector<std::string> found;
    std::size_t start = listing.find("Sink Input #");
    while (start != std::string::npos) {
        const std::size_t next = listing.find("Sink Input #", start + 1);
        std::string block = listing.substr(start, next == std::string::npos ? next : next - start);
        if (block.find(text) != std::string::npos) {
            found.push_back(std::move(block));
        }
        start = next;
    }
    return found;
}

bool silencedByRoleCork(const std::string& block) {
    return block.find("Mute: yes") != std::string::npos;
}

class CallsWithRoleCork : public Calls {
protected:
    static PulseServer::Config withRoleCork() {
        PulseServer::Config config;
        config.roleCork = true;
        return config;
    }
    CallsWithRoleCork() : Calls(withRoleCork()) {}
};

// module-role-cork silences music while a call plays, but only among the
// streams of the call's own sink: a tapped stream in its tap sink would play
// on through the call. It is silenced as it is untapped, and the replay,
// which carries every tapped stream, is never touched by the module.
TEST_F(CallsWithRoleCork, ATappedMusicStreamIsSilencedDuringACallAsAnUntappedOne) {
    if (PulseServer::onPipeWire()) {
        GTEST_SKIP() << "PipeWire's server has no module-role-cork";
    }
    Recorder recorder(server.address(), "speakers.monitor");
    auto music = player({"--role=music", "--amplitude=0.4"});
    ASSERT_TRUE(until([&] { return rowOf(music->pid()) != nullptr; }));
    const std::string key = rowOf(music->pid())->id;
    const std::string musicStream = "application.process.id = \"" + std::to_string(music->pid());
    const auto musicMuted = [&] {
        const auto blocks = sinkInputsWith(server, musicStream);
        return blocks.size() == 1 && silencedByRoleCork(blocks.front());
    };
    std::this_thread::sleep_for(300ms);
    const double direct = recorder.level(200ms);
    ASSERT_GT(direct, 0.1);

    for (const bool tapped : {false, true}) {
        SCOPED_TRACE(tapped ? "tapped" : "untapped");
        const double level = tapped ? 0.25 : 1.0;
        if (tapped) {
            model->setVolume(key, 0.5);
            ASSERT_TRUE(eventually([&] {
                return server.sinkOfClientPid(music->pid()).value_or("").rfind("morvale_tap_", 0) ==
                       0;
            }));
        }
        EXPECT_TRUE(
            eventually([&] { return std::abs(recorder.level(200ms) / direct - level) < 0.03; }));

        auto call = phoneCall();
        ASSERT_TRUE(until([&] { return model->callActive(); }));
        EXPECT_TRUE(eventually(musicMuted));
        EXPECT_TRUE(eventually([&] { return recorder.level(200ms) < 0.01; }));
        const auto replays = sinkInputsWith(server, "morvale.stream = \"replay\"");
        EXPECT_EQ(replays.size(), tapped ? 1u : 0u);
        for (const std::string& replay : replays) {
            EXPECT_FALSE(silencedByRoleCork(replay));
            EXPECT_NE(replay.find("Corked: no"), std::string::npos);
            EXPECT_EQ(replay.find("media.role = \"phone\""), std::string::npos);
        }

        call->terminate();
        ASSERT_TRUE(until([&] { return !model->callActive(); }));
        EXPECT_TRUE(eventually([&] { return !musicMuted(); }));
        EXPECT_TRUE(
            eventually([&] { return std::abs(recorder.level(200ms) / direct - level) < 0.03; }));
        // Nothing of the mirrors is left once the call is over.
        EXPECT_TRUE(sinkInputsWith(server, "morvale.stream = \"call-mirror\"").empty());
    }
}

// The other way round: the call is tapped (its row turned down) and the
// music is not. The module still silences the music beside it.
TEST_F(CallsWithRoleCork, MusicIsSilencedBesideATappedCall) {
    if (PulseServer::onPipeWire()) {
        GTEST_SKIP() << "PipeWire's server has no module-role-cork";
    }
    auto music = player({"--role=music", "--amplitude=0.4"});
    ASSERT_TRUE(until([&] { return rowOf(music->pid()) != nullptr; }));
    const std::string musicStream = "application.process.id = \"" + std::to_string(music->pid());
    model->setVolume(std::string(Grouping::faceTimeKey), 0.5);

    auto call = phoneCall();
    ASSERT_TRUE(until([&] { return model->callActive(); }));
    EXPECT_TRUE(eventually([&] {
        return server.sinkOfClientPid(call->pid()).value_or("").rfind("morvale_tap_", 0) == 0;
    }));
    EXPECT_EQ(server.sinkOfClientPid(music->pid()), "speakers");
    EXPECT_TRUE(eventually([&] {
        const auto blocks = sinkInputsWith(server, musicStream);
        return blocks.size() == 1 && silencedByRoleCork(blocks.front());
    }));
    call->terminate();
    EXPECT_TRUE(eventually([&] {
        const auto blocks = sinkInputsWith(server, musicStream);
        return blocks.size() == 1 && !silencedByRoleCork(blocks.front());
    }));
}

}  // namespace
}  // namespace morvale::pulse::testing
