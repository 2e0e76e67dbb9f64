// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <cstdlib>

#include "app/AudioBackendChoice.h"
#ifdef MORVALE_HAVE_PIPEWIRE
#include "platform/pipewire/PipeWireAudioSystem.h"
#include "platform/pipewire/memory/GainJournal.h"
#include "platform/pipewire/memory/GainWatchdog.h"
#endif

namespace morvale::app {

AudioBackendChoice chooseAudioBackendAtStart(const std::vector<std::string>& arguments) {
    const char* environment = std::getenv("MORVALE_AUDIO_BACKEND");
#ifdef MORVALE_HAVE_PIPEWIRE
    return chooseAudioBackend(arguments, environment ? environment : "", true,
                              [] { return pipewire::PipeWireAudioSystem::daemonAnswers(); });
#else
    return chooseAudioBackend(arguments, environment ? environment : "", false, {});
#endif
}

#ifdef MORVALE_HAVE_PIPEWIRE
namespace {

class WatchdogGuard final : public GainGuard {
public:
    WatchdogGuard(std::string path, std::unique_ptr<pipewire::GainWatchdog> watchdog)
        : path_(std::move(path)), watchdog_(std::move(watchdog)) {}
    const std::string& journalPath() const override { return path_; }

private:
    std::string path_;
    std::unique_ptr<pipewire::GainWatchdog> watchdog_;
};

}  // namespace
#endif

std::unique_ptr<GainGuard> guardPipeWireGains(const AudioBackendChoice& choice) {
#ifdef MORVALE_HAVE_PIPEWIRE
    if (choice.backend != AudioBackend::pipeWire) {
        return nullptr;
    }
    std::string path = pipewire::GainJournal::defaultPath();
    auto watchdog = pipewire::GainWatchdog::start(path);
    if (!watchdog) {
        return nullptr;
    }
    // What an earlier run left is undone before this one sets anything.
    watchdog->waitUntilReplayed(std::chrono::seconds(3));
    return std::make_unique<WatchdogGuard>(std::move(path), std::move(watchdog));
#else
    (void)choice;
    return nullptr;
#endif
}

QString audioBackendLine(const AudioBackendChoice& choice) {
#ifdef MORVALE_HAVE_PIPEWIRE
    if (choice.backend == AudioBackend::pipeWire) {
        //: %1 is PipeWire's version, e.g. "0.3.65".
        return QCoreApplication::translate("main", "Sound server: PipeWire %1 (native)")
            .arg(QString::fromStdString(pipewire::PipeWireAudioSystem::libraryVersion()));
    }
#endif
    (void)choice;
    return QCoreApplication::translate("main", "Sound server: PulseAudio protocol");
}

QString audioBackendProblem(const AudioBackendChoice& choice) {
    const QString given = QString::fromStdString(choice.given);
    switch (choice.problem) {
        case AudioBackendChoice::Problem::unknownName:
            //: %1 is what was given; "pipewire" and "pulse" are the words to type.
            return QCoreApplication::translate(
                       "main", "unknown audio backend \"%1\"; use pipewire or pulse")
                .arg(given);
        case AudioBackendChoice::Problem::notBuilt:
            return QCoreApplication::translate("main",
                                               "built without the PipeWire backend; using pulse");
        case AudioBackendChoice::Problem::none:
            break;
    }
    return {};
}

}  // namespace morvale::app
