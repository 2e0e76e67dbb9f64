#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QWidget>
#include <memory>
#include <string>

#include "model/Model.h"
#include "platform/sim/SimPlatform.h"
#include "platform/sim/ModelTesting.h"

namespace morvale::testing {

// A simulated desktop with one output device and a model over it, for the
// interface tests.
class UiFixture : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    std::unique_ptr<Model> model;

    UiFixture() {
        // Rows hold still under the pointer: each test starts with it away
        // from any panel.
        QCursor::setPos(-10000, -10000);
        const auto speakers = sim.audio.addOutputDevice("speakers");
        sim.audio.setDefaultOutputDevice(speakers);
    }

    void makeModel() { model = ModelTesting::make(sim.platform()); }

    // An ordinary application's audio client; its name is what the panel shows.
    AudioObjectID addApp(std::int32_t pid, const std::string& bundleID, const std::string& name,
                         bool playing) {
        sim.processes.applications[pid] = RunningApplication{name, ActivationPolicy::regular};
        return sim.audio.addProcess(pid, bundleID, playing);
    }

    // One refresh period of the model.
    void tick() { sim.advance(Model::refreshInterval); }

    // Lets the views redraw after the model changed.
    static void settle() { QCoreApplication::processEvents(); }

    template <typename T>
    static T* child(const QWidget& parent, const char* name) {
        return parent.findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace morvale::testing
