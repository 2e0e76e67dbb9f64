// SPDX-License-Identifier: GPL-3.0-or-later
// The PipeWire backend in a process of its own, for the tests of what
// outlives it: started as the program starts it (the watchdog first, its
// replay of an earlier journal, then the backend with its journal), it lowers
// one application, holds it, and ends as the test says:
//   SIGUSR1  quits cleanly (the backend puts the stream back, then the
//            journal is cleaned up here, as the watchdog would);
//   a kill -9 leaves the rest to the watchdog or the next start.
//
//   morvale_pipewire_gain_setter <journal> <bundle ID> <gain> [--no-watchdog]
//
// It prints "ready" once the watchdog has replayed an earlier journal, and
// "set" once the gain is in the journal.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "PulseHarness.h"
#include "platform/pipewire/PipeWireAudioSystem.h"
#include "platform/pipewire/memory/GainCleanup.h"
#include "platform/pipewire/memory/GainJournal.h"
#include "platform/pipewire/memory/GainWatchdog.h"

using namespace morvale;
using namespace morvale::pipewire;
using namespace std::chrono_literals;

namespace {
volatile sig_atomic_t quitAsked = 0;
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]).starts_with(kCleanupOption)) {
        return runCleanupCommand(argv[1]);
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <journal> <bundle ID> <gain> [--no-watchdog]\n", argv[0]);
        return 2;
    }
    const std::string journalPath = argv[1];
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ::signal(SIGUSR1, [](int) { quitAsked = 1; });
    std::unique_ptr<GainWatchdog> watchdog;
    if (!(argc > 4 && std::string_view(argv[4]) == "--no-watchdog")) {
        watchdog = GainWatchdog::start(journalPath);
        if (!watchdog || !watchdog->waitUntilReplayed(10s)) {
            std::printf("no watchdog\n");
            return 1;
        }
    }
    std::printf("ready\n");
    {
        const pulse::testing::FakeIdentifier identifier;
        PipeWireAudioSystem::Options options;
        options.journalPath = journalPath;
        PipeWireAudioSystem hw(identifier, options);
        TapDescription lowered;
        lowered.bundleIDs = {argv[2]};
        AudioObjectID stage = 0;
        if (hw.createGainStage(lowered, std::strtof(argv[3], nullptr), &stage) != kAudioNoError) {
            std::printf("no stage\n");
            return 1;
        }
        bool told = false;
        while (quitAsked == 0) {
            if (!told && !readJournal(journalPath).nodes.empty()) {
                std::printf("set\n");
                told = true;
            }
            std::this_thread::sleep_for(20ms);
        }
    }
    const CleanupResult result = cleanUpJournal(journalPath, 5s);
    std::printf("cleaned %d %d %s\n", result.nodesReset, result.keysReset, result.error.c_str());
    return result.error.empty() ? 0 : 1;
}
