// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/AudioBackendChoice.h"

namespace morvale::app {
namespace {

using Problem = AudioBackendChoice::Problem;

TEST(AudioBackendChoice, OptionThenEnvironmentThenWhetherPipeWireAnswers) {
    constexpr auto pw = AudioBackend::pipeWire, pa = AudioBackend::pulse;
    constexpr auto none = Problem::none, unknown = Problem::unknownName;
    const std::string opt = "--audio-backend";
    // clang-format off
    const struct { const char* what; std::vector<std::string> options; std::string environment;
                   bool built, answers; AudioBackend backend; Problem problem; bool probed; }
        cases[] = {
        {"nothing forced, PipeWire answers", {}, "", true, true, pw, none, true},
        {"nothing forced, no PipeWire", {}, "", true, false, pa, none, true},
        {"not built: never asked", {}, "", false, true, pa, none, false},
        {"option forces pulse", {opt + "=pulse"}, "", true, true, pa, none, false},
        {"option as two words", {opt, "PipeWire"}, "", true, false, pw, none, false},
        {"option beats environment", {opt + "=pipewire"}, "pulse", true, false, pw, none, false},
        {"environment forces pulse", {}, "pulse", true, true, pa, none, false},
        {"a bad option falls back to the environment", {opt + "=jack"}, "pulse", true, true, pa,
         unknown, false},
        {"a bad name falls back to the probe", {}, "alsa", true, true, pw, unknown, true},
        {"PipeWire asked for but not built", {opt + "=pipewire"}, "", false, true, pa,
         Problem::notBuilt, false},
        {"after -- it is no option", {"--", opt + "=pulse"}, "", true, true, pw, none, true},
        {"a missing value is no option", {opt}, "", true, false, pa, none, true}};
    // clang-format on
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"morvale"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        bool probed = false;
        const auto choice = chooseAudioBackend(arguments, c.environment, c.built, [&] {
            probed = true;
            return c.answers;
        });
        EXPECT_EQ(std::tuple(choice.backend, choice.problem, probed),
                  std::tuple(c.backend, c.problem, c.probed))
            << c.what;
    }
}

}  // namespace
}  // namespace morvale::app
