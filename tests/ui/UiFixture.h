// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QCursor>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

#include "model/Model.h"
#include "platform/sim/ModelTesting.h"
#include "platform/sim/SimPlatform.h"
#include "ui/AppRow.h"
#include "ui/ContentView.h"
#include "ui/ContinuousSlider.h"
#include "ui/DesktopCalls.h"
#include "ui/RowList.h"
#include "ui/TextWidgets.h"

// Lets test messages and failed comparisons show Qt's texts as text.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << text;
}

namespace morvale::testing {

// The keys of the applications most interface tests show.
inline const std::string tunebox = "org.example.Tunebox", chatter = "org.example.Chatter";

template <typename T = QWidget>
T* child(const QWidget& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
}

// The rows of a panel (a content view or the window around one), top to bottom.
inline std::vector<ui::AppRow*> rows(const QWidget& panel) {
    return child<ui::RowList>(panel, "rows")->rows();
}

inline ui::AppRow& row(const QWidget& panel, const std::string& id) {
    for (ui::AppRow* row : rows(panel)) {
        if (row->entry().id == id) {
            return *row;
        }
    }
    throw std::runtime_error("no row " + id);
}

inline ui::ContinuousSlider& slider(const QWidget& row) {
    return *child<ui::ContinuousSlider>(row, "volumeSlider");
}

inline QString percent(const QWidget& row) {
    return child<ui::DigitsLabel>(row, "percent")->text();
}

// What a screen reader says a control is.
inline QString spokenName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// Counts the events of one kind that a widget and everything inside it get.
struct EventCounter final : QObject {
    EventCounter(QWidget& widget, QEvent::Type counted) : type(counted) {
        widget.installEventFilter(this);
        for (QWidget* inner : widget.findChildren<QWidget*>()) {
            inner->installEventFilter(this);
        }
    }
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == type ? 1 : 0;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

// A simulated desktop with one output device and a model over it, for the
// interface tests: the Linux desktop's rows, with its Calls row.
class UiFixture : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    std::unique_ptr<Model> model;

    UiFixture() {
        sim.grouping = ui::desktopGrouping();
        // Rows hold still under the pointer: each test starts with it away
        // from any panel.
        QCursor::setPos(-10000, -10000);
        sim.audio.setDefaultOutputDevice(sim.audio.addOutputDevice("speakers"));
    }

    void makeModel() { model = ModelTesting::make(sim.platform()); }

    // An ordinary application's audio client; its name is what the panel shows.
    AudioObjectID addApp(std::int32_t pid, const std::string& bundleID, const std::string& name,
                         bool playing) {
        sim.processes.applications[pid] = RunningApplication{name, ActivationPolicy::regular};
        return sim.audio.addProcess(pid, bundleID, playing);
    }

    // An application's voice-call streams, as the sound server reports them:
    // what the Calls row plays.
    AudioObjectID addCallStream(std::int32_t pid, bool playing) {
        return sim.audio.addProcess(pid, std::string(kCallStreamsBundleID), playing);
    }

    // A panel's everyday state: Tunebox playing at 50%, Chatter (returned)
    // muted, a boost of 6 dB and a failed "Open at login" in the error line.
    static constexpr const char* loginError = "Can't write the autostart entry";
    AudioObjectID makeEverydayModel() {
        addApp(101, "org.example.Tunebox", "Tunebox", true);
        const AudioObjectID chatterApp = addApp(102, "org.example.Chatter", "Chatter", false);
        makeModel();
        model->setVolume("org.example.Tunebox", 0.5);
        model->toggleMute("org.example.Chatter");
        model->setDuckBoost(6);
        sim.loginItem.failRegisterWith = loginError;
        model->toggleLaunchAtLogin();
        sim.loginItem.failRegisterWith.reset();
        return chatterApp;
    }

    // Lets the views redraw after the model changed.
    static void settle() { QCoreApplication::processEvents(); }
    // One refresh period of the model, then the redraw after it.
    void refresh() {
        sim.advance(Model::refreshInterval);
        settle();
    }

    // A panel's content, shown, over the model (made now if not yet).
    std::unique_ptr<ui::ContentView> makeView() {
        if (!model) {
            makeModel();
        }
        auto view = std::make_unique<ui::ContentView>(*model);
        view->show();
        settle();
        return view;
    }
};

}  // namespace morvale::testing
