// SPDX-License-Identifier: GPL-3.0-or-later
// The libpulse backend against a private sound server, with real client
// streams. Levels are measured on the monitor of the server's outputs.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <sstream>

#include "TapFixture.h"
#include "audio/AudioError.h"
#include "audio/AudioProcess.h"
#include "platform/linux/LinuxProcessInfo.h"
#include "platform/sim/SimProcesses.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;
using State = PulseAudioSystem::ConnectionState;

// On one output unless told otherwise.
class PulseBackend : public TapFixture {
protected:
    explicit PulseBackend(PulseServer::Config config = {}) : TapFixture(config) {}

    std::optional<AudioProcess> find(AudioHardware& hw, pid_t pid) const {
        const auto all = AudioProcess::all({hw, processes, applications});
        const auto it = std::ranges::find(all, static_cast<std::int32_t>(pid), &AudioProcess::pid);
        return it == all.end() ? std::nullopt : std::optional(*it);
    }
    LinuxDesktop::LinuxProcessInfo processes;
    sim::SimProcesses applications;  // none: every process is known by its name
};

// The amplitude of one frequency in the left channel of interleaved stereo
// samples (Goertzel), for distortion products.
double amplitudeAt(const std::vector<float>& samples, double hertz) {
    const std::size_t frames = samples.size() / 2;
    const double w = 2 * std::numbers::pi * hertz / Recorder::kRate;
    double s1 = 0, s2 = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const double s0 = double{samples[2 * f]} + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(frames);
}

class PulseBackendWithRestore : public PulseBackend {
protected:
    PulseBackendWithRestore() : PulseBackend({.streamRestore = true}) {}
};

class PulseBackendTwoSinks : public PulseBackend {
protected:
    PulseBackendTwoSinks() : PulseBackend({.secondSink = true}) {}
};

// A tap plays the application at its gain, on both channels, a change heard
// within the path's latency; a process that joins the tap leaves the stream
// already playing as it was (no break, no dip); a boost never reaches past
// full scale (a 0.9 sine lifted 6 dB plays as an undistorted sine at full
// scale); and stopping hands the stream back at its own level.
TEST_F(PulseBackend, TapSessionPlaysTheApplicationAtItsGainAndStopRestoresIt) {
    Recorder recorder(server.address(), "speakers.monitor");
    auto song = paplay(0.9);
    // It plays before the tap is made, and joins later: a brand-new stream
    // on the replay's sink can make PipeWire stutter the sink's streams
    // once, joined or not.
    auto joiner = player({"--amplitude=0"});
    auto hw = connect();
    ASSERT_TRUE(eventually([&] { return find(*hw, song->pid()).has_value(); }));
    const double direct = settledLevel(recorder, 400ms);
    ASSERT_GT(direct, 0.2) << "the sine is not heard directly";
    // Each channel on its own too: the sine is the same on both, and a path
    // that lost one would read 1/√2 of the level overall.
    const auto ratio = [&](std::chrono::milliseconds span) {
        return recorder.level(span) / direct;
    };
    const auto atLevel = [&](double expected, std::chrono::milliseconds span, double tolerance) {
        EXPECT_NEAR(ratio(span), expected, tolerance);
        for (const int channel : {0, 1}) {
            EXPECT_NEAR(recorder.channelLevel(channel, span) / direct, expected, tolerance)
                << "channel " << channel;
        }
    };

    auto session = tap(*hw, song->pid(), 0.25f);
    ASSERT_TRUE(eventually([&] { return hw->ioStats().fragments > 0; }));
    const auto tapSink = server.sinkOfClientPid(song->pid());
    ASSERT_TRUE(tapSink && isTapSink(*tapSink)) << tapSink.value_or("none");
    std::this_thread::sleep_for(400ms);
    atLevel(0.25, 200ms, 0.03);
    ASSERT_EQ(server.sinkOfClientPid(song->pid()), tapSink);

    // (No pactl runs meanwhile: on a busy machine its processes alone can
    // starve the IO path.)
    const std::size_t joined = recorder.samples().size();
    ASSERT_TRUE(session->setProcessObjects(
        {objectsOf(*hw, song->pid()).at(0), objectsOf(*hw, joiner->pid()).at(0)}));
    std::this_thread::sleep_for(400ms);
    const auto dipped = std::ranges::count_if(
        recorder.levels(joined, 5), [&](double level) { return level / direct <= 0.25 * 0.8; });
    // PipeWire now and then stutters a sink's streams for one graph cycle
    // when a stream moves into it, whoever moves it: 1024 frames, 21 ms, at
    // most five 5 ms spans there. A stream moved out and back in would break
    // for far longer.
    EXPECT_LE(dipped, PulseServer::onPipeWire() ? 5 : 0);
    EXPECT_TRUE(tapped(joiner->pid()));
    const auto startUnderflows = hw->ioStats().underflows;

    // Gain 0: nothing of the application reaches the sink directly.
    session->setGain(0.0f);
    EXPECT_TRUE(eventually([&] { return ratio(100ms) < 0.01; }, 1s));
    std::this_thread::sleep_for(100ms);
    EXPECT_LT(ratio(100ms), 0.01);

    // A gain change is heard within the path's latency: one fragment for the
    // IO block to pick it up, then the output queue.
    const auto fragments = hw->ioStats().fragments;
    const auto changed = std::chrono::steady_clock::now();
    session->setGain(1.0f);
    EXPECT_TRUE(eventually([&] { return std::abs(ratio(20ms) - 1.0) < 0.05; }, 1s));
    atLevel(1.0, 20ms, 0.05);
    std::printf("gain change heard after %lld ms\n", msSince(changed));
    std::this_thread::sleep_for(changed + 1s - std::chrono::steady_clock::now());
    // At least one IO block call per 10 ms fragment (the server may deliver
    // smaller pieces, each its own call).
    EXPECT_GT(hw->ioStats().fragments - fragments, 70u);

    session->setGain(2.0f);
    std::this_thread::sleep_for(500ms);
    const auto all = recorder.samples();
    const std::vector<float> last(all.end() - 2 * Recorder::kRate / 5, all.end());  // 200 ms
    const float peak = std::ranges::max(last, {}, [](float x) { return std::fabs(x); });
    const double third = amplitudeAt(last, 3000), fifth = amplitudeAt(last, 5000);
    std::printf("boosted 0.9 sine: peak %.3f, 1 kHz %.3f, 3 kHz %.4f, 5 kHz %.4f\n",
                double{std::fabs(peak)}, amplitudeAt(last, 1000), third, fifth);
    EXPECT_GT(recorder.level(200ms), 0.6) << "a full-scale sine has a level of 0.707";
    EXPECT_LE(std::fabs(peak), 1.0f);
    EXPECT_LT(third, 0.01);
    EXPECT_LT(fifth, 0.01);

    // Our own streams never show up as a process, the tap sink never as a device.
    for (const AudioObjectID id : CA::ids(*hw, kAudioObjectSystemObject, kProcessObjectList)) {
        EXPECT_NE(CA::get<std::int32_t>(*hw, id, kProcessPID, -1), ::getpid());
    }
    EXPECT_EQ(CA::string(*hw, CA::defaultOutputDevice(*hw), kDeviceUID), "speakers");

    session->stop();
    EXPECT_EQ(server.sinkOfClientPid(song->pid()), "speakers");
    EXPECT_TRUE(server.tapSinks().empty());
    EXPECT_TRUE(recorder.reaches(1.0, direct, 2s, 0.05));
    // No underflow once running (a busy test machine may cause a rare one).
    EXPECT_LE(hw->ioStats().underflows - startUnderflows, 2u);
}

// Moving a playing stream makes the server render its new sink's buffer
// again with every stream in it: a hundred moves in one burst kept
// PulseAudio's real-time thread busy until the kernel killed the server.
TEST_F(PulseBackend, QuittingWithAHundredTappedStreamsLeavesThemAtFullLevelAndTheServerUp) {
    // PipeWire's session manager takes seconds to relink a hundred streams,
    // whoever moves them (measured with a plain client's moves too).
    const auto settle = PulseServer::onPipeWire() ? 20s : 1s;
    // Handing them back on quitting: each move makes WirePlumber 0.4 run its
    // linking pass over every stream (about 23 ms of its CPU per move here),
    // so a hundred take it about 2.3 s of CPU, 3-7 s on a busy two-core
    // machine. Unloading the tap sink instead and leaving the streams to
    // WirePlumber took 28 s, and it sends them to the default, not their own.
    const auto quitBound = PulseServer::onPipeWire() ? 10s : 1s;
    // One application with a hundred streams that keep two seconds of audio
    // in the server, as paplay's do; the first one plays a sine.
    Child crowd({helperPath("morvale_pulse_test_player"), "--streams=100", "--server-buffer"});
    if (!crowd.waitForOutput("ready", 20s)) {
        // A private server as root runs with real-time limits, and a hundred
        // streams starting can overrun them on a slow machine before this
        // program has done anything: then there is nothing to test.
        if (!server.processAlive()) {
            GTEST_SKIP() << "the server died while the hundred streams started, untapped";
        }
        FAIL() << "the hundred streams did not start";
    }
    auto hw = connect();
    // Recorders come and go: one that stayed would keep the output's latency
    // short, and with it the cost of each move, as nothing else does here.
    const auto level = [&] { return settledLevel(Recorder(server.address(), "speakers.monitor")); };
    const double direct = level();
    ASSERT_GT(direct, 0.2);
    const auto onlyOn = [&](const std::string& sink) {
        const auto sinks = server.sinksOfClientPid(crowd.pid());
        return sinks.size() == 100 &&
               std::ranges::all_of(sinks, [&](auto& s) { return s == sink; });
    };
    // PulseAudio mixes at most 32 streams into one sink: as many stay on
    // their own as leave room there for the replay, the rest go into the tap.
    const std::ptrdiff_t leftOut = PulseServer::onPipeWire() ? 0 : 31;
    const auto tappedAsFarAsTheyFit = [&](const std::string& tapSink) {
        const auto sinks = server.sinksOfClientPid(crowd.pid());
        const auto outside = std::ranges::count(sinks, std::string("speakers"));
        return sinks.size() == 100 && outside <= leftOut &&
               std::ranges::count(sinks, tapSink) == 100 - outside;
    };
    auto session = tap(*hw, crowd.pid(), 0.25f);
    const auto tapSinks = server.tapSinks();
    ASSERT_EQ(tapSinks.size(), 1u);
    ASSERT_TRUE(eventually([&] { return tappedAsFarAsTheyFit(tapSinks.front()); }, settle + 2s));
    // Levels are read over half a second each; on a starved machine a dropout
    // can spoil one reading, so they get a few tries.
    const auto at = [&](double gain) { return std::abs(level() / direct - gain) < 0.03; };
    const auto levelSettle = std::max<std::chrono::milliseconds>(settle, 5s);
    EXPECT_TRUE(eventually([&] { return at(0.25); }, levelSettle));

    // Quitting: every session stops, then the backend goes.
    const auto quit = std::chrono::steady_clock::now();
    session.reset();
    hw.reset();
    EXPECT_TRUE(eventually([&] { return onlyOn("speakers"); }, settle + 2s));
    const auto took = msSince(quit);
    std::printf("a hundred streams back on their sink %lld ms after quitting\n", took);
    EXPECT_LT(took, std::chrono::milliseconds(quitBound).count());
    EXPECT_TRUE(server.processAlive());
    EXPECT_TRUE(eventually([&] { return at(1.0); }, levelSettle));
    EXPECT_TRUE(server.tapSinks().empty());
}

// A short sound of a tapped application (eight streams that keep two
// seconds queued, as paplay's do, so that the tap runs in longer periods)
// ends as soon as it would on its own sink: players that lingered in a tap
// sink piled up until the server refused connections.
TEST_F(PulseBackend, AOneSecondSoundOfATappedApplicationEndsInTime) {
    auto hw = connect();
    const auto playFor1s = [&](bool tapIt) {
        auto sound = player({"--corked", "--for=1000", "--streams=8", "--server-buffer"});
        std::unique_ptr<TapSession> session;
        if (tapIt) {
            session = tap(*hw, sound->pid(), 0.5f);
            EXPECT_TRUE(tapped(sound->pid()));
        }
        sound->signal(SIGUSR2);
        EXPECT_TRUE(sound->waitForOutput("drained", 5s));
        const auto at = sound->output().find("drained ");
        const long ms = at == std::string::npos ? 99999 : std::stol(sound->output().substr(at + 8));
        sound.reset();  // the application quits while it is tapped
        return ms;
    };
    const auto untappedMs = playFor1s(false);
    const auto tappedMs = playFor1s(true);
    EXPECT_TRUE(server.tapSinks().empty());
    std::printf("a 1 s sound ended after %ld ms untapped, %ld ms tapped\n", untappedMs, tappedMs);
    EXPECT_LE(tappedMs, untappedMs + 100);
    EXPECT_LE(tappedMs, 1300);
}

// A new process of a tapped application is at the tap's gain from its first
// sound: the tap takes it in by who it is (by bundle ID, or by name where it
// has none) as soon as its stream appears, with nobody listing it, as when
// the main thread is slow, and its owner listing it later changes nothing.
// It is heard however many streams the tap holds: PulseAudio mixes at most
// 32 sounding streams into one sink and leaves the rest out unheard, so a
// tap sink takes in fewer and the rest play at their own volume, which the
// error line tells.
TEST_F(PulseBackend, ANewProcessOfATappedApplicationIsAtItsGainFromItsStart) {
    const struct {
        const char* what;
        float gain;
        bool byName;
        int streams;  // of the application's silent process playing already
        bool beyondPulseMix;
    } cases[] = {
        {"by bundle ID, muted", 0.0f, false, 1, false},
        {"by name", 0.25f, true, 1, false},
        {"beside 30 streams", 0.25f, false, 30, false},
        {"beside 32 streams, more than a PulseAudio sink mixes", 0.25f, false, 32, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto first = player({"--amplitude=0", "--streams=" + std::to_string(c.streams)});
        const FakeIdentifier knowsNone(true);
        PulseAudioSystem hw(c.byName ? knowsNone : identifier, options());
        TapApplication application{"Player", {}, {}};
        if (c.byName) {
            std::optional<AudioProcess> seen;
            ASSERT_TRUE(eventually([&] { return (seen = find(hw, first->pid())).has_value(); }));
            application.processNames = {seen->name};
        } else {
            application.bundleIDs = {"morvale_pulse_test_player.desktop"};
        }
        auto session = tap(hw, first->pid(), c.gain, application);
        std::atomic<int> told{0};
        AudioObjectPropertyListenerID listener = nullptr;
        ASSERT_EQ(hw.addPropertyListenerBlock(
                      kAudioObjectSystemObject, CA::addr(kProcessObjectList), nullptr,
                      [&](std::uint32_t, const AudioObjectPropertyAddress*) { ++told; }, &listener),
                  kAudioNoError);
        Recorder recorder(server.address(), "speakers.monitor");
        ASSERT_TRUE(eventually([&] { return hw.ioStats().fragments > 0; }));
        std::this_thread::sleep_for(200ms);

        const std::size_t start = recorder.samples().size();
        auto second = player({"--amplitude=0.5"});
        std::this_thread::sleep_for(700ms);
        const bool crowded = c.beyondPulseMix && !PulseServer::onPipeWire();
        const double expected = 0.5 * (crowded ? 1.0 : static_cast<double>(c.gain)) / M_SQRT2;
        // Each millisecond holds one period of the sine.
        const auto loud = std::ranges::count_if(
            recorder.levels(start, 1), [&](double level) { return level > expected * 1.2 + 0.01; });
        std::printf("new process: %ld ms too loud\n", static_cast<long>(loud));
        EXPECT_LE(loud, 20);
        // The level a listener hears: one short gap of a loaded machine
        // (30 streams moving) does not decide it; bursts are counted above.
        EXPECT_NEAR(recorder.typicalLevel(300ms), expected, 0.01);
        EXPECT_TRUE(crowded || tapped(second->pid()));
        EXPECT_EQ(hw.availabilityProblem().has_value(), crowded);
        EXPECT_GE(told.load(), 1);

        if (c.streams == 1) {  // (a crowd listed again may stutter once on PipeWire)
            ASSERT_TRUE(session->setProcessObjects(
                {objectsOf(hw, first->pid()).at(0), objectsOf(hw, second->pid()).at(0)}));
            std::this_thread::sleep_for(200ms);
            EXPECT_NEAR(recorder.level(150ms), expected, 0.01);
        }
        EXPECT_EQ(hw.removePropertyListenerBlock(kAudioObjectSystemObject,
                                                 CA::addr(kProcessObjectList), nullptr, listener),
                  kAudioNoError);
    }
}

// The replay plays where the application's stream played (not on the
// default), and the stream goes back there; other mixers see our streams
// named after the application once after our connection's ("Morvale"), and a
// capture that says what it is for. Moving the stream, or our replay, in
// another mixer while it is tapped is the user's choice: the session follows
// it instead of fighting it, and hands the stream back there.
TEST_F(PulseBackendTwoSinks, TheReplayPlaysWhereTheStreamDidAndFollowsMovesByHand) {
    auto song = paplay(0.5, {"--device=headphones"});
    // (PipeWire's session manager may link a new stream to the default first.)
    ASSERT_TRUE(eventually([&] { return server.sinkOfClientPid(song->pid()) == "headphones"; }));
    Recorder headphones(server.address(), "headphones.monitor");
    Recorder speakers(server.address(), "speakers.monitor");
    auto hw = connect();
    const double direct = settledLevel(headphones);
    ASSERT_GT(direct, 0.2);
    const auto playsOn = [&](Recorder& on, Recorder& off) {
        return std::abs(on.level(200ms) / direct - 0.25) < 0.03 && off.level(200ms) < 0.01;
    };

    auto session = tap(*hw, song->pid(), 0.25f, {"Song Player", {}, {}});
    EXPECT_TRUE(tapped(song->pid()));
    EXPECT_TRUE(eventually([&] { return playsOn(headphones, speakers); }));
    const auto replays = server.sinkInputsWith("morvale.stream = \"replay\"");
    ASSERT_EQ(replays.size(), 1u);
    EXPECT_NE(replays.front().find("media.name = \"Song Player\""), std::string::npos)
        << replays.front();
    const std::string recordings = server.pactl("list source-outputs");
    EXPECT_NE(recordings.find("media.name = \"Song Player (volume)\""), std::string::npos)
        << recordings;
    session.reset();  // the end of its life stops it
    EXPECT_EQ(server.sinkOfClientPid(song->pid()), "headphones");
    EXPECT_TRUE(server.tapSinks().empty());

    session = tap(*hw, song->pid(), 0.25f);
    // The user moves the stream once it is tapped. (A move made in the very
    // moment the tap takes the stream in can be lost on PipeWire, whose
    // session manager applies the two moves in either order.)
    ASSERT_TRUE(eventually([&] { return tapped(song->pid()); }));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(server.moveStreamOfClientPid(song->pid(), "speakers"));
    EXPECT_TRUE(eventually([&] { return playsOn(speakers, headphones); }));
    EXPECT_TRUE(tapped(song->pid()));
    // PipeWire's session manager decides where our replay plays.
    const std::string last = PulseServer::onPipeWire() ? "speakers" : "headphones";
    if (!PulseServer::onPipeWire()) {
        // Our process's only playback stream is the replay.
        ASSERT_TRUE(server.moveStreamOfClientPid(::getpid(), "headphones"));
        EXPECT_TRUE(eventually([&] { return playsOn(headphones, speakers); }));
        std::this_thread::sleep_for(500ms);
        EXPECT_TRUE(playsOn(headphones, speakers)) << "the replay did not stay where it was moved";
        EXPECT_TRUE(tapped(song->pid()));
    }
    session.reset();
    EXPECT_EQ(server.sinkOfClientPid(song->pid()), last);
}

// A client without a desktop entry is named by the name it gives itself where
// that is not its program's, so that two programs on one runtime are told
// apart; the program's name stays known for volumes stored under it.
TEST_F(PulseBackend, AClientIsNamedByTheNameItDeclares) {
    const FakeIdentifier knowsNone(true);
    PulseAudioSystem hw(knowsNone, options());
    const struct {
        std::vector<std::string> arguments;
        const char* name;
        const char* programName;
    } cases[] = {
        {{"--client-name=Tunebox"}, "Tunebox", "paplay"},
        {{}, "paplay", ""},  // paplay's own name is its program's
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto client = paplay(0.0, c.arguments);
        std::optional<AudioProcess> seen;
        ASSERT_TRUE(eventually([&] { return (seen = find(hw, client->pid())).has_value(); }));
        EXPECT_EQ(seen->name, c.name);
        EXPECT_EQ(seen->programName, c.programName);
    }
}

TEST_F(PulseBackend, SilentTapLetsTheDeviceIdle) {
    auto tone = player({"--corked"});
    auto hw = connect();
    auto session = tap(*hw, tone->pid(), 0.5f);
    // The speakers' line of the short list ends in their state.
    const auto speakersRunning = [&] {
        std::istringstream lines(server.pactl("list short sinks"));
        for (std::string line; std::getline(lines, line);) {
            if (line.find("\tspeakers\t") != std::string::npos) {
                return line.ends_with("\tRUNNING");
            }
        }
        return false;
    };
    EXPECT_TRUE(eventually([&] { return !speakersRunning(); }, 1s));
    // The application's playing flag follows its cork and uncork.
    const auto playing = [&] { return find(*hw, tone->pid()).value_or(AudioProcess{}).isPlaying; };
    tone->signal(SIGUSR2);
    EXPECT_TRUE(eventually([&] { return speakersRunning() && playing(); }));
    tone->signal(SIGUSR1);
    EXPECT_TRUE(eventually([&] { return !speakersRunning() && !playing(); }));
}

// A stopped (hung) server holds up no caller: a tap fails within the
// timeout, later calls at once. A server that restarts is reported while it
// is away, calls fail at once with a status, and the backend reconnects.
TEST_F(PulseBackend, AHungOrRestartedServerHoldsUpNoCallerAndTheBackendReconnects) {
    auto before = player();
    const auto failsAtOnce = [](AudioHardware& hw) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(CA::ids(hw, kAudioObjectSystemObject, kProcessObjectList).empty());
        TapDescription d = TapDescription::stereoMixdown({});
        d.uuid = "T";
        AudioObjectID tapID = 0;
        EXPECT_EQ(hw.createProcessTap(d, &tapID), kAudioHardwareNotRunningError);
        EXPECT_LT(msSince(start), 100);
    };
    {
        auto o = options();
        o.timeout = 300ms;
        PulseAudioSystem hung(identifier, o);
        ASSERT_TRUE(eventually([&] { return find(hung, before->pid()).has_value(); }));
        const auto objects = objectsOf(hung, before->pid());
        ::kill(server.pid(), SIGSTOP);
        const auto start = std::chrono::steady_clock::now();
        try {
            TapSession session(hung, objects, CA::defaultOutputDevice(hung), "speakers", 0.5f);
            ADD_FAILURE() << "a tap on a stopped server";
        } catch (const MorvaleError& error) {
            EXPECT_EQ(error.code(), kAudioHardwareNotRunningError);
        }
        EXPECT_LT(msSince(start), 800);
        failsAtOnce(hung);
        ::kill(server.pid(), SIGCONT);
        EXPECT_TRUE(eventually([&] { return hung.connectionState() == State::ready; }, 5s));
        EXPECT_TRUE(eventually([&] { return server.tapSinks().empty(); }));
    }

    auto hw = connect();
    auto session = tap(*hw, before->pid(), 0.5f);
    server.stop();
    ASSERT_TRUE(eventually([&] { return hw->connectionState() != State::ready; }));
    EXPECT_FALSE(hw->errorText().empty());
    EXPECT_TRUE(hw->availabilityProblem().has_value());
    failsAtOnce(*hw);
    server.start();
    ASSERT_TRUE(eventually([&] { return hw->connectionState() == State::ready; }, 5s));
    EXPECT_TRUE(hw->errorText().empty());
    EXPECT_FALSE(hw->availabilityProblem().has_value());
    // The session of the old server's client ends cleanly; a new one works.
    EXPECT_TRUE(eventually([&] { return server.tapSinks().size() == 1u; }));  // made again
    session->stop();
    EXPECT_TRUE(server.tapSinks().empty());
    auto tone = player();
    EXPECT_TRUE(eventually([&] { return find(*hw, tone->pid()).has_value(); }));
    session = tap(*hw, tone->pid(), 0.5f);
    EXPECT_TRUE(tapped(tone->pid()));
}

TEST_F(PulseBackendWithRestore, KillNineOfATapHolderRestoresSound) {
    auto tone = player({"--role=music"});
    Child holder({helperPath("morvale_pulse_tap_holder"), std::to_string(tone->pid())});
    ASSERT_TRUE(holder.waitForOutput("tapped", 5s));
    ASSERT_TRUE(tapped(tone->pid()));

    holder.kill();
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_TRUE(eventually([&] { return server.sinkOfClientPid(tone->pid()) == "speakers"; }));
    EXPECT_TRUE(eventually([&] { return server.tapSinks().empty(); }));
    std::printf("sound restored %lld ms after kill -9\n", msSince(killed));

    // The application's next stream does not start in a sink of ours.
    tone->terminate();
    auto next = player({"--role=music"});
    EXPECT_EQ(server.sinkOfClientPid(next->pid()), "speakers");
}

TEST_F(PulseBackendWithRestore, ASecondApplicationWithTheSameRoleIsNotCaptured) {
    auto first = player({"--role=music"});
    auto hw = connect();
    auto session = tap(*hw, first->pid(), 0.5f);
    ASSERT_TRUE(tapped(first->pid()));
    // The move into the tap sink was remembered for the role, and undone.
    const auto remembersATapSink = [&] {
        return std::ranges::any_of(server.restoredDevices(),
                                   [](const auto& entry) { return isTapSink(entry.second); });
    };
    if (!PulseServer::onPipeWire()) {  // PipeWire keeps its own keys
        EXPECT_TRUE(server.restoredDevices().contains("sink-input-by-media-role:music"));
    }
    EXPECT_TRUE(eventually([&] { return !remembersATapSink(); }));

    auto second = player({"--role=music"});
    EXPECT_TRUE(eventually([&] { return server.sinkOfClientPid(second->pid()) == "speakers"; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(server.sinkOfClientPid(second->pid()), "speakers");
    EXPECT_TRUE(tapped(first->pid()));

    session->stop();
    EXPECT_EQ(server.sinkOfClientPid(first->pid()), "speakers");
    auto third = player({"--role=music"});
    EXPECT_EQ(server.sinkOfClientPid(third->pid()), "speakers");
    // Moving it back does not pin the role to a device it did not name before.
    EXPECT_TRUE(eventually([&] { return !remembersATapSink(); }));
    EXPECT_TRUE(eventually(
        [&] { return server.restoredDevices()["sink-input-by-media-role:music"].empty(); }));
}

// Our replay's level is the IO block's alone. A level stored for its key
// (another mixer once lowered a replay, and the server remembered it) must not
// lower the next session, and a change made to it in another mixer is undone
// and not remembered.
TEST_F(PulseBackendWithRestore, OurReplayNeitherTakesNorKeepsALevelFromAnotherMixer) {
    // PipeWire keys a stream by its media role, whatever restore key it names.
    const std::string key =
        PulseServer::onPipeWire() ? "sink-input-by-media-role:production" : "morvale-replay";
    ASSERT_TRUE(server.storeRestoredVolume(key, 0.5));
    Recorder recorder(server.address(), "speakers.monitor");
    auto song = paplay(0.5);
    auto hw = connect();
    ASSERT_TRUE(eventually([&] { return find(*hw, song->pid()).has_value(); }));
    const double direct = settledLevel(recorder, 400ms);
    ASSERT_GT(direct, 0.2);

    auto session = tap(*hw, song->pid(), 0.5f);
    ASSERT_TRUE(eventually([&] { return hw->ioStats().fragments > 0; }));
    const auto atHalf = [&](const char* when) {
        const bool at = recorder.reaches(0.5, direct, 2s, 0.04);
        std::printf("%s: %.3f of the direct level (0.5 wanted)\n", when,
                    recorder.level(200ms) / direct);
        return at;
    };
    EXPECT_TRUE(atHalf("with 50% stored for the replay's key"));

    if (PulseServer::onPipeWire()) {
        GTEST_SKIP() << "on PipeWire this backend leaves its streams' volumes to the server";
    }
    const auto replays = server.sinkInputIndicesWith("morvale.stream = \"replay\"");
    ASSERT_EQ(replays.size(), 1u);
    server.pactl("set-sink-input-volume " + std::to_string(replays.front()) + " 50%");
    server.pactl("set-sink-input-mute " + std::to_string(replays.front()) + " 1");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(atHalf("after another mixer set the replay to 50% and muted it"));
    // Nothing is left stored for the next replay either.
    EXPECT_TRUE(eventually([&] { return !server.restoredVolumes().contains(key); }));
    session->stop();
    ASSERT_TRUE(recorder.reaches(1.0, direct, 2s, 0.04));
    session = tap(*hw, song->pid(), 0.5f);
    EXPECT_TRUE(atHalf("the next session after that"));
}

}  // namespace
}  // namespace morvale::pulse::testing
