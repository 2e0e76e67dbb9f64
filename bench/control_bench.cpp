// SPDX-License-Identifier: GPL-3.0-or-later
// What a volume set from the command line or another program costs the main
// thread: the service's SetVolume through the model, and the open panel
// showing the new value, for 10 and 100 applications. A hundred sets a
// second take a hundred times this out of every second of the panel's thread.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>
#include <string>

#include "app/control/ControlService.h"
#include "model/Model.h"
#include "platform/sim/ModelTesting.h"
#include "platform/sim/SimPlatform.h"
#include "ui/ContentView.h"

namespace {

using namespace morvale;

void setWithPanelOpen(benchmark::State& state) {
    sim::SimPlatform sim;
    sim.audio.setDefaultOutputDevice(sim.audio.addOutputDevice("speakers"));
    const auto apps = static_cast<int>(state.range(0));
    for (int i = 0; i < apps; ++i) {
        const std::int32_t pid = 1000 + i;
        sim.processes.applications[pid] = {"App " + std::to_string(i), ActivationPolicy::regular};
        sim.audio.addProcess(pid, "org.example.App" + std::to_string(i), i % 2 == 0);
    }
    const std::unique_ptr<Model> model = ModelTesting::make(sim.platform());
    control::ControlService service(*model);
    ui::ContentView panel(*model);
    panel.show();
    QCoreApplication::processEvents();
    const QString key = QStringLiteral("org.example.App0");
    int step = 0;
    for (auto _ : state) {
        // Volumes a step apart, as a held key sends them; every one redraws.
        service.SetVolume(key, 0.2 + (step++ % 50) / 100.0);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(setWithPanelOpen)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
