// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvale::app {

// Which sound server interface the program uses at the desktop.
enum class AudioBackend {
    pipeWire,  // native PipeWire: a gain inside each application's streams
    pulse,     // the PulseAudio protocol (PulseAudio, or PipeWire's PulseAudio server)
};

struct AudioBackendChoice {
    AudioBackend backend = AudioBackend::pulse;
    // Why a backend asked for could not be used, and the name that was given.
    enum class Problem { none, unknownName, notBuilt } problem = Problem::none;
    std::string given;
};

// "pipewire" or "pulse" (any case); absent for anything else.
std::optional<AudioBackend> audioBackendNamed(std::string_view name);

// The backend to use: the one `--audio-backend=NAME` (or `--audio-backend
// NAME`) among the arguments names, else the one the environment's
// MORVALE_AUDIO_BACKEND names (`environment`, empty when unset), else native
// PipeWire when its daemon answers, else PulseAudio. A name that is not a
// backend is a problem, and the choice goes on as if it was not given.
// `pipeWireAnswers` is asked only when nothing forces a backend (and never
// when no PipeWire backend was built: `pipeWireBuilt` false).
AudioBackendChoice chooseAudioBackend(const std::vector<std::string>& arguments,
                                      std::string_view environment, bool pipeWireBuilt,
                                      const std::function<bool()>& pipeWireAnswers);

}  // namespace morvale::app

namespace morvale::app {

// ---- Qt's side, for the program's start (AudioBackendStart.cpp) ----

// The choice at the program's start: over its arguments, MORVALE_AUDIO_BACKEND
// and, when neither forces one, whether the PipeWire daemon answers.
AudioBackendChoice chooseAudioBackendAtStart(const std::vector<std::string>& arguments);
// What --version and the panel say about it: "Sound server: PipeWire 0.3.65 (native)".
QString audioBackendLine(const AudioBackendChoice& choice);
// Why the backend asked for is not used, for the user; empty when it is.
QString audioBackendProblem(const AudioBackendChoice& choice);

// What undoes the PipeWire backend's gains however the program ends: a
// watchdog process (started here, which first replays a journal an earlier
// run left) and the journal the backend records into. Kept for the program's
// life; null for the PulseAudio backend, or when the watchdog cannot start.
class GainGuard {
public:
    virtual ~GainGuard() = default;
    virtual const std::string& journalPath() const = 0;
};
std::unique_ptr<GainGuard> guardPipeWireGains(const AudioBackendChoice& choice);

}  // namespace morvale::app
