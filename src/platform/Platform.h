// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/AudioHardware.h"
#include "platform/Collator.h"
#include "platform/GroupingRules.h"
#include "platform/LoginItem.h"
#include "platform/MainThread.h"
#include "platform/ProcessInfo.h"
#include "platform/RunningApplications.h"
#include "platform/SettingsStore.h"
#include "platform/Workspace.h"

namespace morvale {

// The platform services the system runs on, and its rules for gathering
// processes into rows (the call row among them). Whoever builds one keeps every
// service and the rules alive for as long as anything built over it.
struct Platform {
    AudioHardware& audio;
    ProcessInfo& processes;
    RunningApplications& applications;
    Workspace& workspace;
    Collator& collator;
    SettingsStores& settings;
    LoginItemService& loginItem;
    MainQueue& mainQueue;
    Timers& timers;
    TerminationNotifier& termination;
    const GroupingRules& grouping;
};

}  // namespace morvale
