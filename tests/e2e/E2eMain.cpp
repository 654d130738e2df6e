// Runs the end-to-end tests inside a QApplication on a private X display of their own. Listing
// the tests starts nothing, so the test runner can discover them on a machine without X.
#include "app/MainApplication.h"
#include "platform/Backends.h"
#include "tests/e2e/XServer.h"

#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();

    std::unique_ptr<XServer> server;
    try {
        server = std::make_unique<XServer>();
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "cannot start a private X display: %s\n", error.what());
        return 1;
    }
    // The X11 platform, whatever the calling environment prefers: these tests are about the
    // X11 clipboard.
    qunsetenv("QT_QPA_PLATFORM");
    qunsetenv("WAYLAND_DISPLAY");
    // The X11 side of the platform modules, chosen as the program chooses it.
    const std::unique_ptr<Backends> backends = Backends::choose();
    // A runtime folder of this test alone: Kelvrin's command socket lives there, and a Kelvrin
    // started by another test running at the same time must not find this one.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    // The application object Kelvrin runs with, which holds the hot key.
    MainApplication app(argc, argv);
    backends->start();
    if (QGuiApplication::platformName() != u"xcb") {
        std::fprintf(stderr, "Qt chose the platform %s, not xcb\n",
                     qPrintable(QGuiApplication::platformName()));
        return 1;
    }
    return RUN_ALL_TESTS();
}
