// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Gain.h"
#include "audio/TapSession.h"

namespace morvale {

// One application's tap session, shared between the main thread and the
// session jobs. The session itself is made, changed and ended by jobs
// only; the main thread writes the gain it last asked for, which a job
// reads when it runs, so that a job never plays a value older than the
// newest one asked for before it began.
struct SessionCell {
    explicit SessionCell(float initialGain) : gain(initialGain) {}

    std::unique_ptr<TapSession> session;  // jobs only
    std::atomic<float> gain;              // the gain last asked for
    std::atomic<bool> gainQueued{false};  // a gain job waits: steps coalesce
    // The main thread ended it: a start or change still queued does nothing,
    // so a row set back to full before its start ran is never tapped.
    std::atomic<bool> ended{false};
};

// What a session should play: the application's processes on a device.
struct SessionRequest {
    std::vector<AudioObjectID> objects;
    AudioObjectID device = kAudioObjectUnknown;
    std::string deviceUID;
    TapApplication application;
};

// What a start or change job tells the main thread.
struct SessionOutcome {
    enum class Kind {
        kept,     // changed in place, or nothing to change
        started,  // a session was made (anew)
        failed,   // none plays: error says why
        gone,     // the session had already failed; nothing was done
    };
    Kind kind = Kind::gone;
    std::shared_ptr<Gain> tapGain;  // kept or started: a tap's gain, else null
    std::string error;
};

}  // namespace morvale
