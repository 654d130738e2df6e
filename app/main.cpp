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

    // Closing the window is the user quitting, who may choose to stay when the sets cannot be
    // saved. A signal or the session manager ends the session: it quits without asking.
    bool quitAccepted = false;
    auto userQuits = [&] {
        if (!quitAccepted && delegate.applicationShouldTerminate() == 1) {
            quitAccepted = true;
            QCoreApplication::quit();
        }
    };
    auto sessionEnds = [&] {
        if (!quitAccepted)
            delegate.sessionShouldTerminate();
        quitAccepted = true;
        QCoreApplication::quit();
    };
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &delegate, userQuits);
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &delegate, sessionEnds);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate,
                     [&delegate] { delegate.commitData(); });

    delegate.applicationWillFinishLaunching();
    // The session may have ended while a launch alert waited for an answer.
    const int status = quitAccepted ? 0 : app.exec();
    // The loop may also end without asking us, when the session manager ends the session.
    if (!quitAccepted)
        delegate.sessionShouldTerminate();
    delegate.applicationWillTerminate();
    return status;
}
