// SPDX-License-Identifier: GPL-3.0-or-later
// One refresh of the model beside the bare process snapshot it is built on,
// for 10, 100 and 1000 simulated audio clients (a fifth playing, a tenth with a
// stored volume). The stored volumes keep taps running, so the refresh also
// pays for checking every session against its application.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "audio/AudioProcess.h"
#include "model/Model.h"
#include "platform/sim/SimPlatform.h"
#include "platform/sim/ModelTesting.h"

namespace {

using namespace morvale;

struct System {
    sim::SimPlatform sim;
    std::unique_ptr<Model> model;

    explicit System(int clients) {
        sim.audio.setDefaultOutputDevice(sim.audio.addOutputDevice("speakers"));
        for (int i = 0; i < clients; ++i) {
            const std::int32_t pid = 1000 + i;
            const std::string id = "org.example.App" + std::to_string(i);
            sim.processes.applications[pid] = {"App " + std::to_string(i),
                                               ActivationPolicy::regular};
            sim.workspace.applicationPaths[id] = "/apps/" + id + ".desktop";
            sim.audio.addProcess(pid, id, i % 5 == 0);
        }
        PlistValue::Dict volumes;
        for (int i = 0; i < clients; i += 10) {
            volumes.emplace("org.example.App" + std::to_string(i), 0.5);
        }
        sim.settings.standardStore.values["volumes"] = volumes;
        sim.settings.standardStore.values["migrated"] = true;
        model = ModelTesting::make(sim.platform());
    }
};

void snapshot(benchmark::State& state) {
    System system(static_cast<int>(state.range(0)));
    const AudioProcess::Sources sources{system.sim.audio, system.sim.processes,
                                        system.sim.processes};
    for (auto _ : state) {
        benchmark::DoNotOptimize(AudioProcess::all(sources));
    }
    state.SetComplexityN(state.range(0));
}

void refresh(benchmark::State& state) {
    System system(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        system.model->refresh();
    }
    state.SetComplexityN(state.range(0));
}

BENCHMARK(snapshot)->Arg(10)->Arg(100)->Arg(1000)->Complexity();
BENCHMARK(refresh)->Arg(10)->Arg(100)->Arg(1000)->Complexity();

}  // namespace

BENCHMARK_MAIN();
