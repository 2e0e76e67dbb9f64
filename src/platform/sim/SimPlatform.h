// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Platform.h"
#include "platform/sim/MacLikeGrouping.h"
#include "platform/sim/ManualMainThread.h"
#include "platform/sim/MemorySettings.h"
#include "platform/sim/SimCollator.h"
#include "platform/sim/SimLoginItem.h"
#include "platform/sim/SimProcesses.h"
#include "platform/sim/SimWorkspace.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale::sim {

// Every platform service simulated, owned in one place: what tests and the
// demo run on.
struct SimPlatform {
    SimulatedAudioSystem audio;
    SimProcesses processes;
    SimWorkspace workspace;
    SimCollator collator;
    MemorySettings settings;
    SimLoginItem loginItem;
    ManualMainQueue mainQueue;
    ManualTimers timers;
    ManualTermination termination;
    // The bundle desktop's rules by default; a test of another desktop's sets its own.
    GroupingRules grouping = macLikeGrouping();

    Platform platform() { return platformWith(settings); }

    // The same over other settings stores (files a test made, say).
    Platform platformWith(SettingsStores& stores) {
        return Platform{audio,     processes, processes, workspace,   collator, stores,
                        loginItem, mainQueue, timers,    termination, grouping};
    }

    // Advances the clock and runs what the ticks queued on the main thread.
    void advance(std::chrono::milliseconds by) {
        timers.advance(by);
        mainQueue.drain();
    }
};

}  // namespace morvale::sim
