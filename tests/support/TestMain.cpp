// Runs the unit and widget tests inside a QApplication on Qt's offscreen platform, so pictures,
// fonts and widgets behave as in the application without needing a display.
#include "ScriptedAlerts.h"
#include "ScriptedFolderPanel.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ScriptedAlerts::refuseUnscripted();
    ScriptedFolderPanel::refuseUnscripted();
    return RUN_ALL_TESTS();
}
