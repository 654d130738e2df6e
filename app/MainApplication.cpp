#include "app/MainApplication.h"

#include <malloc.h>

MainApplication::MainApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Kelvrin"));
    setOrganizationName(QStringLiteral("Kelvrin"));
    setDesktopFileName(QStringLiteral("kelvrin"));
    // Closing the paste window is a quit request, which may be refused; see main.
    setQuitOnLastWindowClosed(false);
    // A captured screenshot passes through buffers of tens of megabytes (the image as offered,
    // decoded, and re-encoded). With a fixed threshold they are mapped and unmapped on their
    // own instead of staying in the heap after use, so a history of pictures costs only its
    // stored bytes.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

MainApplication* MainApplication::sharedApplication() {
    return qobject_cast<MainApplication*>(QCoreApplication::instance());
}
