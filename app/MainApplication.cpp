#include "app/MainApplication.h"

MainApplication::MainApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Kelvrin"));
    setOrganizationName(QStringLiteral("Kelvrin"));
    setDesktopFileName(QStringLiteral("kelvrin"));
    // Closing the paste window is a quit request, which may be refused; see main.
    setQuitOnLastWindowClosed(false);
}

MainApplication* MainApplication::sharedApplication() {
    return qobject_cast<MainApplication*>(QCoreApplication::instance());
}
