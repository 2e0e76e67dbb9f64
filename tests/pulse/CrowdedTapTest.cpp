// An application with many streams in its tap, on a private sound server:
// a new process of it is heard, however many streams the tap holds.
// PulseAudio mixes at most 32 sounding streams into one sink and leaves the
// rest out unheard, so a tap sink takes in fewer and the rest play at their
// own volume, which the error line tells.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ServerTest.h"
#include "audio/AudioProcess.h"
#include "audio/CA.h"
#include "audio/TapSession.h"
#include "platform/pulse/PulseAudioSystem.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;

class NoProcesses final : public ProcessInfo, public RunningApplications {
public:
    std::int32_t ownPid() const override { return static_cast<std::int32_t>(::getpid()); }
    int procName(std::int32_t, char* buffer, std::uint32_t size) const override {
        if (size > 0) {
            buffer[0] = '\0';
        }
        return 0;
    }
    std::optional<RunningApplication> application(std::int32_t) const override {
        return std::nullopt;
    }
};

using CrowdedTap = ServerTest;

TEST_F(CrowdedTap, ANewProcessOfAnApplicationWithManyStreamsIsHeard) {
    struct Case {
        int crowd;            // silent streams of the application playing already
        bool beyondPulseMix;  // with the new one, more than a PulseAudio sink mixes
    };
    constexpr double kGain = 0.25;
    constexpr double kOwnLevel = 0.5 / M_SQRT2;  // the new process's sine, untapped
    for (const Case c : {Case{30, false}, Case{32, true}}) {
        SCOPED_TRACE("a crowd of " + std::to_string(c.crowd) + " streams");
        NoProcesses processes;
        PulseAudioSystem hw(identifier, options());
        ASSERT_EQ(hw.connectionState(), PulseAudioSystem::ConnectionState::ready);

        auto crowd = player({"--amplitude=0", "--streams=" + std::to_string(c.crowd)});
        std::vector<AudioObjectID> objects;
        ASSERT_TRUE(eventually([&] {
            objects.clear();
            for (const auto& p : AudioProcess::all({hw, processes, processes})) {
                if (p.pid == crowd->pid()) {
                    objects.push_back(p.objectID);
                }
            }
            return !objects.empty();
        }));
        const AudioObjectID device = CA::defaultOutputDevice(hw);
        TapSession session(hw, objects, device, CA::string(hw, device, kDeviceUID).value_or(""),
                           static_cast<float>(kGain),
                           {"Player", {"morvale_pulse_test_player.desktop"}, {}});
        Recorder recorder(server.address(), "speakers.monitor");
        ASSERT_TRUE(eventually([&] { return hw.ioStats().fragments > 0; }));

        // The new process joins the tap by who it is.
        auto newcomer = player({"--amplitude=0.5"});
        std::this_thread::sleep_for(700ms);
        const double heard = recorder.level(300ms);
        std::printf("crowd of %d: the new process is heard at %.3f of its own level\n", c.crowd,
                    heard / kOwnLevel);
        const bool crowded = c.beyondPulseMix && !PulseServer::onPipeWire();
        EXPECT_NEAR(heard, crowded ? kOwnLevel : kGain * kOwnLevel, 0.01);
        EXPECT_EQ(hw.availabilityProblem().has_value(), crowded);
    }
}

}  // namespace
}  // namespace morvale::pulse::testing
