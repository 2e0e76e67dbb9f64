#include <QCoreApplication>
#include <cstdlib>

#include "app/AudioBackendChoice.h"
#ifdef MORVALE_HAVE_PIPEWIRE
#include "platform/pipewire/PipeWireAudioSystem.h"
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
