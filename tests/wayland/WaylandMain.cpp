// Runs the Wayland end-to-end tests. Each test starts a headless sway of its own (SwaySession)
// and runs the real kelvrin program and every other program in it; this process only watches.
// Listing the tests starts nothing.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
