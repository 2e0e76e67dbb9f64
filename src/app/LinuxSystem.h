// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "app/AudioBackendChoice.h"
#include "platform/Platform.h"

namespace morvale::app {

// The platform the program runs on at a user's Linux desktop: the audio server
// through native PipeWire or libpulse (as chosen), the desktop's installed applications, settings in a JSON
// file, the XDG autostart login item, the locale's name order, and Qt's
// main-thread services.
class LinuxSystem final : public QObject {
    Q_OBJECT
public:
    // appId: the desktop entry's id, also the autostart entry's name.
    // program: the command the autostart entry runs.
    // backend: the sound server interface; journal: where the PipeWire
    // backend records the gains it sets (empty: nowhere).
    LinuxSystem(const QString& appId, const QString& program, AudioBackend backend,
                const std::string& journal = {});
    ~LinuxSystem() override;

    Platform platform();

signals:
    // The connection to the audio server was lost or made (emitted on the
    // main thread).
    void audioConnectionChanged();

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

}  // namespace morvale::app
