// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "ServerTest.h"
#include "audio/AudioProcess.h"
#include "model/SessionWorker.h"
#include "platform/CallGroup.h"
#include "platform/linux/DesktopGrouping.h"
#include "platform/sim/ModelTesting.h"
#include "platform/sim/SimPlatform.h"

namespace morvale::pulse::testing {

// The whole model on the libpulse backend over a private server, on a
// simulated desktop: its session jobs on a worker thread as in the program,
// or without one at once on the caller's thread.
class ModelOnServer : public ServerTest {
protected:
    explicit ModelOnServer(PulseServer::Config config = {}, bool withWorker = false)
        : ServerTest(config) {
        hw = std::make_unique<PulseAudioSystem>(identifier, options());
        sim.grouping = LinuxDesktop::desktopGrouping("Calls");
        const Platform platform{*hw,          sim.processes, sim.processes, sim.workspace,
                                sim.collator, sim.settings,  sim.loginItem, sim.mainQueue,
                                sim.timers,   sim.termination, sim.grouping};
        if (withWorker) {
            worker = std::make_unique<SessionWorker>(sim.mainQueue);
            model = ModelTesting::make(platform, *worker);
        } else {
            model = ModelTesting::make(platform);
        }
    }
    ~ModelOnServer() override {
        // A test that failed with the server stopped must not hang the rest.
        ::kill(server.pid(), SIGCONT);
    }

    // One turn of the main loop as the program has it: what the backend's
    // news and the session jobs queued, and the model's periodic refresh on
    // the real clock (for what changes without a process coming or going,
    // such as a stream that is listed first and plays a moment later).
    void turn() {
        const auto now = std::chrono::steady_clock::now();
        sim.advance(std::chrono::duration_cast<std::chrono::milliseconds>(now - lastTurn_));
        lastTurn_ = now;
    }
    // Turns the main loop until `done`.
    bool until(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        return eventually(
            [&] {
                turn();
                return done();
            },
            timeout);
    }

    // The row that holds one of the process's objects (its call object's, or
    // its own).
    const AppEntry* rowOf(pid_t pid, bool call = false) {
        for (const AudioProcess& p : AudioProcess::all({*hw, sim.processes, sim.processes})) {
            if (p.pid != pid || (p.bundleID == std::string(kCallStreamsBundleID)) != call) {
                continue;
            }
            for (const AppEntry& entry : model->entries()) {
                if (std::ranges::find(entry.objects, p.objectID) != entry.objects.end()) {
                    return &entry;
                }
            }
        }
        return nullptr;
    }

    sim::SimPlatform sim;
    std::unique_ptr<PulseAudioSystem> hw;
    std::unique_ptr<SessionWorker> worker;  // goes before the backend it calls
    std::unique_ptr<Model> model;           // and the model, with its sessions, first

private:
    std::chrono::steady_clock::time_point lastTurn_ = std::chrono::steady_clock::now();
};

}  // namespace morvale::pulse::testing
