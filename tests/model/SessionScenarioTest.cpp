// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "model/ModelFixture.h"
#include "model/VolumeRules.h"
#include "platform/FourCC.h"

namespace morvale::testing {
namespace {

using Call = sim::SimulatedAudioSystem::Call;
using D = PlistValue::Dict;

constexpr const char* kPlayer = "org.example.Player";

// Every scenario runs on a system that taps (and plays the application again
// at its gain) and on one that applies the gain inside the streams.
enum class Kind { tap, gainStage };

class SessionScenario : public ::testing::TestWithParam<Kind> {
protected:
    ModelFixture f;
    AudioObjectID player = f.addClient(10, kPlayer, "Player", true);

    SessionScenario() {
        f.sim.audio.setCallLogging(true);
        f.sim.audio.setGainStages(staged());
    }

    static bool staged() { return GetParam() == Kind::gainStage; }

    auto sessionsCreated() {
        const Call made = staged() ? Call::createGainStage : Call::createProcessTap;
        return std::ranges::count_if(f.sim.audio.log(), [made](const auto& r) {
            return r.call == made && r.status == 0;
        });
    }

    // What the one session holds, as the system knows it.
    TapDescription description() {
        return staged() ? f.sim.audio.gainStages().begin()->second.description
                        : f.sim.audio.taps().begin()->second;
    }
};

INSTANTIATE_TEST_SUITE_P(Kinds, SessionScenario,
                         ::testing::Values(Kind::tap, Kind::gainStage),
                         [](const ::testing::TestParamInfo<Kind>& param) {
                             return param.param == Kind::tap ? "Tap" : "GainStage";
                         });

TEST_P(SessionScenario, VolumeChangesFollowInTheSameSession) {
    f.makeModel()->setVolume(kPlayer, 0.5);
    f.sim.audio.clearLog();
    const auto model = f.makeModel();  // a stored volume applies at start
    EXPECT_EQ(f.outputLevel(*model, kPlayer), 0.25f);
    model->setVolume(kPlayer, 0.25);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), 0.0625f);
    f.tick();
    EXPECT_EQ(f.outputLevel(*model, kPlayer), 0.0625f);
    EXPECT_EQ(sessionsCreated(), 1);

    model->setVolume(kPlayer, 0.995);  // full: nothing stored, nothing tapped
    EXPECT_FALSE(model->volumes().contains(kPlayer));
    EXPECT_EQ(f.outputLevel(*model, kPlayer), std::nullopt);
    EXPECT_FALSE(f.sim.audio.hasLeftovers());
    model->setVolume(kPlayer, 0.5);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), 0.25f);
}

TEST_P(SessionScenario, MuteSilencesAndUnmuteRestoresTheEarlierVolume) {
    const auto model = f.makeModel();
    model->setVolume(kPlayer, 0.6);
    model->toggleMute(kPlayer);
    EXPECT_EQ(model->volume(kPlayer), 0.0);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), 0.0f);
    model->toggleMute(kPlayer);
    EXPECT_EQ(model->volume(kPlayer), 0.6);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), Model::gain(0.6));

    // From full volume, unmuting removes the stored key again.
    model->setVolume(kPlayer, 1.0);
    model->toggleMute(kPlayer);
    model->toggleMute(kPlayer);
    EXPECT_FALSE(model->volumes().contains(kPlayer));
    EXPECT_EQ(f.outputLevel(*model, kPlayer), std::nullopt);
}

TEST_P(SessionScenario, ABoostedCallLiftsPlayingApplicationsUntilTheBoostGoes) {
    f.addClient(20, "org.example.Other", "Other", true);
    f.addClient(30, "org.example.Silent", "Silent", false);
    const AudioObjectID call = f.addClient(40, "com.apple.FaceTime", "FaceTime", true);
    const auto model = f.makeModel();
    model->setVolume("org.example.Other", 0.5);
    EXPECT_TRUE(model->callActive());

    model->setDuckBoost(6);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), 1.9952623f);
    EXPECT_NEAR(*f.outputLevel(*model, "org.example.Other"), 0.4988156f, 1e-7f);
    EXPECT_EQ(f.outputLevel(*model, "org.example.Silent"), std::nullopt);
    // The call's own row is lifted too, but only once turned down.
    EXPECT_EQ(f.outputLevel(*model, "facetime"), std::nullopt);
    model->setVolume("facetime", 0.5);
    EXPECT_NEAR(*f.outputLevel(*model, "facetime"), 0.25f * 1.9952623f, 1e-7f);

    model->setDuckBoost(0);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), std::nullopt);
    EXPECT_EQ(f.outputLevel(*model, "org.example.Other"), 0.25f);

    // The call ends: the boost stays set but lifts nothing.
    model->setDuckBoost(6);
    f.sim.audio.setProcessPlaying(call, false);
    f.tick();
    EXPECT_FALSE(model->callActive());
    EXPECT_EQ(f.outputLevel(*model, kPlayer), std::nullopt);
    EXPECT_EQ(f.outputLevel(*model, "org.example.Other"), 0.25f);
}

// Where the system tells how far it lowers others during a call, the boost
// lifts at most that much; where it lowers nothing, the boost lifts nothing
// (and the panel says so); where it does not tell, the whole boost applies.
TEST_P(SessionScenario, TheBoostLiftsAtMostWhatTheSystemDucks) {
    struct Case {
        const char* what;
        std::optional<float> duckingDB;
        double boostDB;
        std::optional<float> playerGain;
        bool nothingToUndo;
    };
    const Case cases[] = {
        {"not told: the whole boost", std::nullopt, 6, 1.9952623f, false},
        {"ducks more than the boost: the whole boost", 20.0f, 6, 1.9952623f, false},
        {"ducks less than the boost: the ducking", 6.0f, 20, 1.9952623f, false},
        {"ducks nothing: no lift, and the panel says why", 0.0f, 6, std::nullopt, true},
        {"a ducking below 0 undoes nothing", -3.0f, 6, std::nullopt, true},
        {"ducks nothing and no boost is set: nothing to say", 0.0f, 0, std::nullopt, false},
    };
    f.addClient(40, "com.apple.FaceTime", "FaceTime", true);
    const auto model = f.makeModel();
    model->setVolume("org.example.Other", 0.5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f.sim.audio.setCallDuckingDB(c.duckingDB);
        model->setDuckBoost(c.boostDB);
        EXPECT_EQ(f.outputLevel(*model, kPlayer), c.playerGain);
        EXPECT_EQ(model->boostHasNothingToUndo(), c.nothingToUndo);
        EXPECT_EQ(model->appliedBoostDB(), c.boostDB);  // the slider shows what is set
    }
}

TEST_P(SessionScenario, ProcessesJoinAndLeaveTheRunningSessionANewDeviceRebuildsIt) {
    const auto model = f.makeModel();
    model->setVolume(kPlayer, 0.5);
    EXPECT_EQ(sessionsCreated(), 1);
    // The session says who else to take in as soon as they start.
    EXPECT_EQ(description().bundleIDs, std::vector<std::string>{kPlayer});

    // A helper that starts is taken in by the running session as soon as the
    // main loop turns, and let go when it ends: no new session either time.
    const AudioObjectID helper = f.addClient(11, "org.example.Player.helper", "", false, false);
    f.sim.mainQueue.drain();
    EXPECT_EQ(description().processes, (std::vector<AudioObjectID>{player, helper}));
    f.sim.audio.removeProcess(helper);
    f.sim.mainQueue.drain();
    EXPECT_EQ(description().processes, std::vector<AudioObjectID>{player});
    EXPECT_EQ(sessionsCreated(), 1);

    // Where the system refuses the change in place, a new session takes it.
    f.sim.audio.injectFailure({Call::setPropertyData, kAudioHardwareUnsupportedOperationError,
                               kTapDescription, std::nullopt, 1});
    const AudioObjectID second = f.addClient(12, kPlayer, "Player", true);
    f.sim.mainQueue.drain();
    EXPECT_EQ(sessionsCreated(), 2);
    EXPECT_EQ(description().processes, (std::vector<AudioObjectID>{player, second}));

    // A tap plays on the default device and is rebuilt for a new one; a gain
    // stage plays wherever the application does and stays.
    const AudioObjectID headphones = f.sim.audio.addOutputDevice("headphones", 1);
    f.sim.audio.setDefaultOutputDevice(headphones);
    f.tick();
    EXPECT_EQ(sessionsCreated(), staged() ? 2 : 3);
    if (!staged()) {
        EXPECT_EQ(ModelTesting::session(*model, kPlayer)->deviceUID(), "headphones");
    }
    EXPECT_EQ(f.sim.audio.gainStages().size() + f.sim.audio.taps().size(), 1u);  // the old ended
}

// A session ends within one timer period of its application quitting, every
// one when the output device goes or the program ends; none of that is an error.
TEST_P(SessionScenario, SessionsEndWithTheirApplicationAndAllWithTheDeviceOrTheProgram) {
    f.addClient(20, "org.example.Other", "Other", true);
    const auto model = f.makeModel();
    model->setVolume(kPlayer, 0.5);
    model->setVolume("org.example.Other", 0.5);
    f.sim.audio.removeProcess(player);
    f.tick();
    EXPECT_EQ(f.sessionCount(*model), 1u);
    EXPECT_EQ(staged() ? f.sim.audio.gainStages().size() : f.sim.audio.taps().size(), 1u);
    EXPECT_EQ(model->entries().back().id, kPlayer);  // the row stays for the stored volume

    // Without an output device a tap has nowhere to play; a gain stage needs none.
    f.sim.audio.setDefaultOutputDevice(kAudioObjectUnknown);
    f.tick();
    EXPECT_EQ(f.sessionCount(*model), staged() ? 1u : 0u);
    EXPECT_EQ(f.sim.audio.hasLeftovers(), staged());
    EXPECT_FALSE(model->errorText().has_value());

    f.sim.audio.setDefaultOutputDevice(f.speakers);
    f.addClient(11, kPlayer, "Player", true);
    f.tick();
    EXPECT_EQ(f.sessionCount(*model), 2u);
    f.sim.termination.notifyWillTerminate();
    EXPECT_EQ(f.sessionCount(*model), 0u);
    EXPECT_FALSE(f.sim.audio.hasLeftovers());
}

// A gain stage hands every gain to the system: what the row says is what the
// system applies. A change the system refuses keeps the last gain that took,
// and the next refresh tries again; a stage the system cannot make is an error
// the user sees, and nothing of it is left.
TEST(GainStages, TheSystemAppliesWhatTheRowSaysAndRefusalsAreRetriedOrShown) {
    ModelFixture f;
    f.sim.audio.setGainStages(true);
    f.addClient(10, kPlayer, "Player", true);
    const auto model = f.makeModel();
    const auto systemGain = [&] { return f.sim.audio.gainStages().begin()->second.gain; };

    model->setVolume(kPlayer, 0.5);
    EXPECT_EQ(systemGain(), 0.25f);
    f.sim.audio.injectFailure({Call::setPropertyData, kAudioHardwareNotRunningError,
                               kGainStageGain, std::nullopt, 1});
    model->setVolume(kPlayer, 0.3);
    EXPECT_EQ(systemGain(), 0.25f);
    EXPECT_EQ(f.outputLevel(*model, kPlayer), 0.25f);
    f.tick();
    EXPECT_EQ(systemGain(), Model::gain(0.3));

    model->setVolume(kPlayer, 1.0);
    EXPECT_FALSE(f.sim.audio.hasLeftovers());
    f.sim.audio.injectFailure({Call::createGainStage, kAudioHardwareNotRunningError});
    model->setVolume(kPlayer, 0.5);
    EXPECT_THAT(model->errorText().value_or(""),
                ::testing::HasSubstr("Couldn't set the application's volume"));
    EXPECT_FALSE(f.sim.audio.hasLeftovers());
}

// Stored values count within what the controls can set where they turn into
// sound (during a call, so that the boost acts too); what is stored stays as
// it was until the user changes it.
TEST(StoredValues, CountWithinTheControlsRangesAndStayAsStored) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const float loudest = VolumeRules::boostFactor(30.0);
    const struct {
        double stored;  // as the volume and as the boost
        double volume, boostDB;
        std::optional<float> level;
    } cases[] = {
        {1e308, 1.0, 30.0, loudest},   {200, 1.0, 30.0, loudest},
        {-3, 0.0, 0.0, 0.0f},          {nan, 1.0, 0.0, std::nullopt},
        {inf, 1.0, 0.0, std::nullopt}, {-inf, 1.0, 0.0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        ModelFixture f;
        f.addClient(10, kPlayer, "Player", true);
        f.addClient(40, "com.apple.FaceTime", "FaceTime", true);
        f.sim.settings.standardStore.values =
            D{{"migrated", true}, {"volumes", D{{kPlayer, c.stored}}}, {"duckBoostDB", c.stored}};
        const auto model = f.makeModel();
        EXPECT_EQ(model->volume(kPlayer), c.volume);
        EXPECT_EQ(model->appliedBoostDB(), c.boostDB);
        EXPECT_EQ(f.outputLevel(*model, kPlayer), c.level);
        EXPECT_THAT(model->duckBoostDB(), ::testing::NanSensitiveDoubleEq(c.stored));
        EXPECT_THAT(model->volumes().at(kPlayer), ::testing::NanSensitiveDoubleEq(c.stored));
        EXPECT_EQ(f.sim.settings.standardStore.writes, 0);
    }
}

}  // namespace
}  // namespace morvale::testing
