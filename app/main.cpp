#include "app/MainApplication.h"
#include "app/MyObject.h"
#include "platform/ClipboardPasteboard.h"
#include "platform/Defaults.h"
#include "platform/QuitSignals.h"

int main(int argc, char** argv) {
    MainApplication app(argc, argv);
    MyObject delegate(std::make_unique<Defaults>(), std::make_unique<ClipboardPasteboard>());

    // Closing the window, or being asked to stop by the session, goes through the quit request
    // so the settings are kept.
    auto requestQuit = [&delegate] {
        if (delegate.applicationShouldTerminate() == 1)
            QCoreApplication::quit();
    };
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &delegate, requestQuit);
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &delegate, requestQuit);

    delegate.applicationWillFinishLaunching();
    const int status = app.exec();
    delegate.applicationWillTerminate();
    return status;
}
