// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AudioBackendChoice.h"

namespace morvale::app {
namespace {

using Problem = AudioBackendChoice::Problem;

TEST(AudioBackendChoice, OptionThenEnvironmentThenWhetherPipeWireAnswers) {
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string environment;
        bool built;
        bool answers;
        AudioBackend backend;
        Problem problem;
        bool probed;
    };
    const std::vector<Case> cases{
        {"nothing forced, PipeWire answers", {"morvale"}, "", true, true, AudioBackend::pipeWire,
         Problem::none, true},
        {"nothing forced, no PipeWire", {"morvale"}, "", true, false, AudioBackend::pulse,
         Problem::none, true},
        {"not built: never asked", {"morvale"}, "", false, true, AudioBackend::pulse,
         Problem::none, false},
        {"option forces pulse", {"morvale", "--audio-backend=pulse"}, "", true, true,
         AudioBackend::pulse, Problem::none, false},
        {"option as two words", {"morvale", "--audio-backend", "PipeWire"}, "", true, false,
         AudioBackend::pipeWire, Problem::none, false},
        {"option beats environment", {"morvale", "--audio-backend=pipewire"}, "pulse", true, false,
         AudioBackend::pipeWire, Problem::none, false},
        {"environment forces pulse", {"morvale"}, "pulse", true, true, AudioBackend::pulse,
         Problem::none, false},
        {"a bad option falls back to the environment", {"morvale", "--audio-backend=jack"},
         "pulse", true, true, AudioBackend::pulse, Problem::unknownName, false},
        {"a bad name falls back to the probe", {"morvale"}, "alsa", true, true,
         AudioBackend::pipeWire, Problem::unknownName, true},
        {"PipeWire asked for but not built", {"morvale", "--audio-backend=pipewire"}, "", false,
         true, AudioBackend::pulse, Problem::notBuilt, false},
        {"after -- it is no option", {"morvale", "--", "--audio-backend=pulse"}, "", true, true,
         AudioBackend::pipeWire, Problem::none, true},
        {"a missing value is no option", {"morvale", "--audio-backend"}, "", true, false,
         AudioBackend::pulse, Problem::none, true},
    };
    for (const auto& c : cases) {
        bool probed = false;
        const auto choice = chooseAudioBackend(c.arguments, c.environment, c.built, [&] {
            probed = true;
            return c.answers;
        });
        EXPECT_EQ(choice.backend, c.backend) << c.what;
        EXPECT_EQ(choice.problem, c.problem) << c.what;
        EXPECT_EQ(probed, c.probed) << c.what;
    }
}

}  // namespace
}  // namespace morvale::app
