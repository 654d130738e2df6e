#include "app/MainApplication.h"
#include "app/MyObject.h"
#include "app/PrintFolder.h"
#include "platform/ClipboardPasteboard.h"
#include "platform/Defaults.h"
#include "platform/QuitSignals.h"

namespace {

// "--print-folder DIR": the folder that follows, or absent when the option is not given.
std::optional<QString> printFolderArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--print-folder") == 0)
            return i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<QString> folder = printFolderArgument(argc, argv);
    if (folder) {
        // Inspecting a folder needs no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        MainApplication app(argc, argv);
        return printFolder(*folder);
    }
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
