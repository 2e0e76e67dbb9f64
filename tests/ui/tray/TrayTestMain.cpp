// The tray tests run with a session bus and, unless asked to run on Qt's
// offscreen platform, an X display of their own (Qt's tray icon speaks D-Bus
// to tray hosts only on a desktop platform). Both are started before Qt
// first looks for a tray, and hold no tray until a test makes one.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "PrivateDesktop.h"

int main(int argc, char** argv) {
    const bool offscreen = std::strcmp(MORVALE_TRAY_TEST_PLATFORM, "offscreen") == 0;
    const morvale::testing::PrivateDesktop desktop(!offscreen);
    if (!desktop.ok()) {
        std::fprintf(stderr, "%s\n", desktop.error().c_str());
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", MORVALE_TRAY_TEST_PLATFORM);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
