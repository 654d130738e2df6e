// Runs the Wayland end-to-end tests. Each test starts a headless compositor of its own
// (SwaySession, KwinSession, GnomeSession) and runs the real kelvrin program and every other program in it; this
// process watches, and drives Kelvrin's own connection and the modules on it as the program does,
// with a clipboard of Qt's own that shows no window. Listing the tests starts nothing.
#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
