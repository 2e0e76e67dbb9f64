// SPDX-License-Identifier: GPL-3.0-or-later
// The interface tests need an application object before any widget exists,
// and run without a display.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/Accessibility.h"

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    morvale::ui::installAccessibility();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
