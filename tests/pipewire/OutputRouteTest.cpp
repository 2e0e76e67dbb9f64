// SPDX-License-Identifier: GPL-3.0-or-later
// Output routes on the native PipeWire backend, against a private PipeWire
// (with WirePlumber) that has two null sinks, "speakers" (the default) and
// "headphones". Where a stream plays is measured on both sinks' monitors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "PulseHarness.h"
#include "audio/CA.h"
#include "platform/FourCC.h"
#include "platform/OutputRoute.h"
#include "platform/pipewire/PipeWireAudioSystem.h"

namespace morvale::pipewire {
namespace {

using namespace std::chrono_literals;
using pulse::testing::Child;
using pulse::testing::eventually;
using pulse::testing::FakeIdentifier;
using pulse::testing::PulseServer;
using pulse::testing::Recorder;
using pulse::testing::sineFile;

constexpr double kAmplitude = 0.25;
const double kFull = kAmplitude / std::sqrt(2.0);
// Below this a sink counts as silent.
constexpr double kSilent = 0.01;
const std::string kNullSink = "module-null-sink format=float32le rate=48000 channels=2 ";

class OutputRoutes : public ::testing::Test {
protected:
    OutputRoutes() {
        if (!PulseServer::onPipeWire()) {
            throw std::runtime_error("needs MORVALE_TEST_SOUND_SERVER=pipewire");
        }
    }

    std::unique_ptr<PipeWireAudioSystem> connect() {
        PipeWireAudioSystem::Options o;
        o.remote = server.pipeWireSocket();
        return std::make_unique<PipeWireAudioSystem>(identifier, o);
    }
    static void route(AudioHardware& hw, morvale::OutputRoutes routes) {
        const morvale::OutputRoutes* table = &routes;
        ASSERT_EQ(hw.setPropertyData(kAudioObjectSystemObject, CA::addr(kOutputRoutes), 0, nullptr,
                                     sizeof table, &table),
                  kAudioNoError);
    }
    // A player, by the bundle ID the test identifier gives it.
    static OutputRoute player(const std::string& sink, const std::string& binary = "pw-cat") {
        OutputRoute r;
        r.streams.bundleIDs = {binary + ".desktop"};
        r.deviceUID = sink;
        return r;
    }
    std::unique_ptr<Child> pwcat() const {
        return std::make_unique<Child>(std::vector<std::string>{
            "pw-cat", "--playback", sineFile(server.folder(), kAmplitude, 60)});
    }
    std::unique_ptr<Child> paplay() const {
        return std::make_unique<Child>(
            std::vector<std::string>{"paplay", sineFile(server.folder(), kAmplitude, 60)});
    }
    // The sound is on `on` and not on the other sink.
    bool playsOn(const Recorder& on, const Recorder& off) const {
        const bool plays = eventually([&] {
            return std::fabs(on.level(200ms) - kFull) < 0.01 && off.level(200ms) < kSilent &&
                   off.level(200ms) >= 0.0;
        });
        if (!plays) {
            ADD_FAILURE() << "levels " << on.level(200ms) << " and " << off.level(200ms) << "\n"
                          << server.pactl("info") << server.pactl("list short sink-inputs");
            std::system(("PIPEWIRE_REMOTE=" + server.pipeWireSocket() + " pw-metadata").c_str());
        }
        return plays;
    }

    PulseServer server{PulseServer::Config{.secondSink = true}};
    FakeIdentifier identifier;
};

// Devices are listed by description; a routed application's stream plays on
// its sink from the first sample; clearing the route lets it follow the
// default as it changes; and the route outlives the program.
TEST_F(OutputRoutes, AStreamPlaysWhereItsRouteSaysFromItsFirstSample) {
    auto hw = connect();
    Recorder speakers(server.address(), "speakers.monitor");
    Recorder headphones(server.address(), "headphones.monitor");
    std::vector<std::string> uids;
    for (const AudioObjectID d : CA::ids(*hw, kAudioObjectSystemObject, kOutputDeviceList)) {
        uids.push_back(CA::string(*hw, d, kDeviceUID).value_or(""));
        EXPECT_FALSE(CA::string(*hw, d, kDeviceName).value_or("").empty());
    }
    std::sort(uids.begin(), uids.end());
    EXPECT_EQ(uids, (std::vector<std::string>{"headphones", "speakers"}));

    route(*hw, {player("headphones")});
    const std::size_t before = speakers.samples().size() / 2;
    auto stream = pwcat();
    ASSERT_TRUE(playsOn(headphones, speakers));
    const auto levels = speakers.levels(before, 10);
    EXPECT_LT(*std::max_element(levels.begin(), levels.end()), kSilent)
        << "not one 10 ms of it on the default sink";

    route(*hw, {});  // "System default"
    EXPECT_TRUE(playsOn(speakers, headphones));
    // A recorder follows the default too (WirePlumber moves a stream linked to
    // the default's monitor along with it): new ones measure after a change.
    server.pactl("set-default-sink headphones");
    {
        Recorder speakersNow(server.address(), "speakers.monitor");
        Recorder headphonesNow(server.address(), "headphones.monitor");
        EXPECT_TRUE(playsOn(headphonesNow, speakersNow)) << "it follows the default";
        route(*hw, {player("speakers")});
        EXPECT_TRUE(playsOn(speakersNow, headphonesNow)) << "a route over the default";
        hw.reset();  // the program quits
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(playsOn(speakersNow, headphonesNow)) << "it stays where the user sent it";
    }
}

// A sink that goes sends the stream to the default; when it is back the
// stream goes back to it. The process's output device says where it plays.
// (pw-cat 0.3.65 does not live through being moved twice: a PulseAudio
// client plays here.)
TEST_F(OutputRoutes, ARoutedStreamComesBackWithItsSink) {
    auto hw = connect();
    route(*hw, {player("headphones", "pacat")});  // paplay is pacat
    auto stream = paplay();
    Recorder speakers(server.address(), "speakers.monitor");
    ASSERT_TRUE(eventually([&] {
        for (const AudioObjectID p : CA::ids(*hw, kAudioObjectSystemObject, kProcessObjectList)) {
            if (CA::string(*hw, p, kProcessOutputDevice) == "headphones") {
                return true;
            }
        }
        return false;
    })) << server.pactl("list short sink-inputs")
        << server.pactl("list short sinks") << [&] {
               std::string seen;
               for (const AudioObjectID p :
                    CA::ids(*hw, kAudioObjectSystemObject, kProcessObjectList)) {
                   seen += CA::string(*hw, p, kProcessOutputDevice).value_or("?") + " " +
                           CA::string(*hw, p, kProcessBundleID).value_or("?") + "\n";
               }
               return seen;
           }();
    const std::string modules = server.pactl("list short modules");
    std::string index;
    for (std::size_t at = 0; at < modules.size();) {
        const std::size_t end = modules.find('\n', at);
        const std::string line = modules.substr(at, end - at);
        if (line.find("sink_name=headphones") != std::string::npos) {
            index = line.substr(0, line.find('\t'));
        }
        at = end == std::string::npos ? modules.size() : end + 1;
    }
    ASSERT_FALSE(index.empty()) << modules;
    server.pactl("unload-module " + index);
    EXPECT_TRUE(eventually([&] { return std::fabs(speakers.level(200ms) - kFull) < 0.01; }))
        << "on the default while its sink is away";

    server.pactl("load-module " + kNullSink + "sink_name=headphones");
    Recorder headphones(server.address(), "headphones.monitor");
    EXPECT_TRUE(playsOn(headphones, speakers)) << "back on its sink";
}

}  // namespace
}  // namespace morvale::pipewire
