#include "app/MainApplication.h"

#include <malloc.h>

MainApplication::MainApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Kelvrin"));
    setOrganizationName(QStringLiteral("Kelvrin"));
    setDesktopFileName(QStringLiteral(KELVRIN_APP_ID));
    // Kelvrin lives in the background: closing its last window only hides it.
    setQuitOnLastWindowClosed(false);
    // A captured screenshot passes through buffers of tens of megabytes (the image as offered,
    // decoded, and re-encoded). With a fixed threshold they are mapped and unmapped on their
    // own instead of staying in the heap after use, so a history of pictures costs only its
    // stored bytes.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

MainApplication::~MainApplication() = default;

MainApplication* MainApplication::sharedApplication() {
    return qobject_cast<MainApplication*>(QCoreApplication::instance());
}

bool MainApplication::installHotKeyEvent(quint8 keyCode, quint16 modifier,
                                         HotKey::Receiver function) {
    return _hotKeyRef.install(keyCode, modifier, std::move(function));
}

void MainApplication::unInstallHotKeyEvent() {
    _hotKeyRef.uninstall();
}
