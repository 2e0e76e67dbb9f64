// SPDX-License-Identifier: GPL-3.0-or-later
// The model's tap sessions as jobs: each call that may wait on the sound
// server runs on the session executor, and its result comes back to the
// main thread. Jobs run one at a time in the order they were queued, so a
// session's start, changes and end, and a new start of the same row after
// an end, happen in the order the main thread asked for them.

#include <utility>

#include "audio/AudioError.h"
#include "model/Model.h"

namespace morvale {

namespace {

// ---- On the executor's thread ----

SessionOutcome start(AudioHardware& hardware, SessionCell& cell, const SessionRequest& request) {
    if (cell.ended.load()) {
        return {};
    }
    try {
        cell.session = std::make_unique<TapSession>(hardware, request.objects, request.device,
                                                    request.deviceUID, cell.gain.load(),
                                                    request.application);
    } catch (const MorvaleError& error) {
        return {SessionOutcome::Kind::failed, nullptr, error.localizedDescription()};
    }
    return {SessionOutcome::Kind::started, cell.session->sharedGain(), {}};
}

SessionOutcome change(AudioHardware& hardware, SessionCell& cell, const SessionRequest& request) {
    if (!cell.session || cell.ended.load()) {
        return {};  // its start failed (the main thread hears of that), or it ended
    }
    TapSession& session = *cell.session;
    if ((session.isGainStage() || session.deviceUID() == request.deviceUID ||
         session.setOutputDevice(request.device, request.deviceUID)) &&
        (session.processObjects() == request.objects ||
         session.setProcessObjects(request.objects))) {
        return {SessionOutcome::Kind::kept, session.sharedGain(), {}};
    }
    // The system could not change it in place: the session is made anew, and
    // the application is heard at its own level for a moment in between.
    session.stop();
    cell.session.reset();
    return start(hardware, cell, request);
}

}  // namespace

// ---- On the main thread ----

void Model::startSession(const std::string& key, SessionRequest request, float gain) {
    auto cell = std::make_shared<SessionCell>(gain);
    sessions_.insert_or_assign(key, Session{cell, request.objects, request.deviceUID});
    AudioHardware& hardware = platform_.audio;
    std::weak_ptr<Model*> weak = self_;
    sessionJobs_.submit([&hardware, cell, request = std::move(request), weak, key] {
        SessionOutcome outcome = start(hardware, *cell, request);
        return SessionExecutor::Result([weak, key, cell, outcome = std::move(outcome)] {
            if (const auto self = weak.lock()) {
                (*self)->sessionSettled(key, *cell, outcome);
            }
        });
    });
}

void Model::changeSession(const std::string& key, Session& session, SessionRequest request) {
    session.objects = request.objects;
    session.deviceUID = request.deviceUID;
    AudioHardware& hardware = platform_.audio;
    std::weak_ptr<Model*> weak = self_;
    sessionJobs_.submit([&hardware, cell = session.cell, request = std::move(request), weak, key] {
        SessionOutcome outcome = change(hardware, *cell, request);
        return SessionExecutor::Result([weak, key, cell, outcome = std::move(outcome)] {
            if (const auto self = weak.lock()) {
                (*self)->sessionSettled(key, *cell, outcome);
            }
        });
    });
}

void Model::setSessionGain(Session& session, float gain) {
    session.cell->gain.store(gain);
    // A running tap's gain is a value its IO block reads: set here, it plays
    // at once, whatever jobs wait.
    if (session.directGain) {
        session.directGain->setValue(gain);
        return;
    }
    // A gain stage's gain is a call to the system, and a starting session's
    // is taken when its job runs or reports back. One gain job at most waits
    // per session: it plays the newest value when it runs, so a drag against
    // a server that does not answer never piles up jobs. A tap's Gain is
    // written by the main thread alone once the session runs.
    if (session.cell->gainQueued.exchange(true)) {
        return;
    }
    sessionJobs_.submit([cell = session.cell]() -> SessionExecutor::Result {
        cell->gainQueued.store(false);
        if (cell->session && cell->session->isGainStage()) {
            cell->session->setGain(cell->gain.load());
        }
        return nullptr;
    });
}

void Model::endSession(Sessions::iterator session) {
    std::shared_ptr<SessionCell> cell = std::move(session->second.cell);
    cell->ended.store(true);
    sessions_.erase(session);
    sessionJobs_.submit([cell = std::move(cell)]() -> SessionExecutor::Result {
        if (cell->session) {
            cell->session->stop();
            cell->session.reset();
        }
        return nullptr;
    });
}

void Model::sessionSettled(const std::string& key, const SessionCell& cell,
                           SessionOutcome outcome) {
    const auto found = sessions_.find(key);
    const bool current = found != sessions_.end() && found->second.cell.get() == &cell;
    switch (outcome.kind) {
    case SessionOutcome::Kind::gone:
        return;
    case SessionOutcome::Kind::failed:
        // A session ended or replaced since is no one's concern now.
        if (current) {
            reportError(ErrorLine::Kind::session, std::move(outcome.error));
            // Nothing plays: the next pass over the sessions starts it again.
            sessions_.erase(found);
        }
        return;
    case SessionOutcome::Kind::started:
        clearError(ErrorLine::Kind::session);
        [[fallthrough]];
    case SessionOutcome::Kind::kept:
        if (!current) {
            return;  // ended or replaced since; its stop job follows
        }
        Session& session = found->second;
        session.running = true;
        // A tap started at the gain asked for when its job began; steps taken
        // since apply now.
        session.directGain = std::move(outcome.tapGain);
        if (session.directGain) {
            session.directGain->setValue(cell.gain.load());
        }
        return;
    }
}

void Model::stopAll() {
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        endSession(it++);
    }
    sessionJobs_.drain();
}

}  // namespace morvale
