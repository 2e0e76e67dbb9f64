// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MainThread.h"

namespace morvale::qt {

// Tells observers when the application's event loop is about to end
// (QCoreApplication::aboutToQuit), however the end was asked for: the panel's
// Quit, the session manager, or a signal through QuitOnSignals.
// Needs the QCoreApplication to exist when observers are added.
class QtTermination final : public TerminationNotifier {
public:
    void addWillTerminateObserver(std::function<void()> observer) override;
};

}  // namespace morvale::qt
