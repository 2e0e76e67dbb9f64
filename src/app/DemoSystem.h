// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include "platform/Platform.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtTermination.h"
#include "platform/qt/QtTimers.h"
#include "platform/sim/MemorySettings.h"
#include "platform/sim/SimCollator.h"
#include "platform/sim/SimLoginItem.h"
#include "platform/sim/SimProcesses.h"
#include "platform/sim/SimWorkspace.h"
#include "platform/sim/SimulatedAudioSystem.h"

namespace morvale::app {

// The program's demo: the real interface and model over the simulated audio
// system, with a few made-up applications (two playing, one of them with a
// helper process; a silent one and a closed one with stored volumes; a
// nameless command-line player) and the desktop's Calls row, with a voice call
// in the chat application that can be switched on and off: its call stream,
// as the audio server reports one. Settings and the login item live in
// memory, apart from the user's real ones. The main-thread services are Qt's,
// as in the real program.
class DemoSystem final : public QObject {
    Q_OBJECT
public:
    DemoSystem();

    Platform platform();

    bool callActive() const { return callStream_ != 0; }
    void setCallActive(bool active);

private:
    sim::SimulatedAudioSystem audio_;
    sim::SimProcesses processes_;
    sim::SimWorkspace workspace_;
    sim::SimCollator collator_;
    sim::MemorySettings settings_;
    sim::SimLoginItem loginItem_;
    qt::QtMainQueue mainQueue_;
    qt::QtTimers timers_;
    qt::QtTermination termination_;
    GroupingRules grouping_;
    AudioObjectID callStream_ = 0;  // 0 while no call plays
};

}  // namespace morvale::app
