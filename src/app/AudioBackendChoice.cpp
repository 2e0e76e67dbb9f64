// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AudioBackendChoice.h"

#include <algorithm>
#include <cctype>

namespace morvale::app {

namespace {

constexpr std::string_view kOption = "--audio-backend";

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The option's value among the arguments, the last one given winning.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments) {
    std::optional<std::string> value;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        if (arg == "--") {
            break;
        }
        if (arg == kOption && i + 1 < arguments.size()) {
            value = arguments[++i];
        } else if (arg.starts_with(kOption) && arg.size() > kOption.size() &&
                   arg[kOption.size()] == '=') {
            value = std::string(arg.substr(kOption.size() + 1));
        }
    }
    return value;
}

}  // namespace

std::optional<AudioBackend> audioBackendNamed(std::string_view name) {
    const std::string n = lower(name);
    if (n == "pipewire") {
        return AudioBackend::pipeWire;
    }
    if (n == "pulse" || n == "pulseaudio") {
        return AudioBackend::pulse;
    }
    return std::nullopt;
}

AudioBackendChoice chooseAudioBackend(const std::vector<std::string>& arguments,
                                      std::string_view environment, bool pipeWireBuilt,
                                      const std::function<bool()>& pipeWireAnswers) {
    AudioBackendChoice choice;
    std::vector<std::string> asked;
    if (const auto value = optionValue(arguments)) {
        asked.push_back(*value);
    }
    if (!environment.empty()) {
        asked.emplace_back(environment);
    }
    for (const auto& name : asked) {
        const auto backend = audioBackendNamed(name);
        const auto problem = !backend ? AudioBackendChoice::Problem::unknownName
                             : *backend == AudioBackend::pipeWire && !pipeWireBuilt
                                 ? AudioBackendChoice::Problem::notBuilt
                                 : AudioBackendChoice::Problem::none;
        if (problem != AudioBackendChoice::Problem::none) {
            if (choice.problem == AudioBackendChoice::Problem::none) {
                choice.problem = problem;
                choice.given = name;
            }
            continue;
        }
        choice.backend = *backend;
        return choice;
    }
    choice.backend = pipeWireBuilt && pipeWireAnswers && pipeWireAnswers()
                         ? AudioBackend::pipeWire
                         : AudioBackend::pulse;
    return choice;
}

}  // namespace morvale::app
