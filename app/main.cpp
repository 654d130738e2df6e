#include "app/MainApplication.h"
#include "app/MyObject.h"
#include "app/PrintFolder.h"
#include "platform/ClipboardPasteboard.h"
#include "platform/Defaults.h"
#include "platform/QuitSignals.h"

#include <cstdio>

namespace {

// "--print-folder DIR": the folder that follows, or absent when the option is not given.
std::optional<QString> printFolderArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--print-folder") == 0)
            return i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
    return std::nullopt;
}

// The hot key and the paste keystroke are X11's: on a Wayland session Kelvrin runs through
// XWayland, where they reach only the programs that run there too.
void runOnX11() {
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland";
    if (!wayland)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    std::fprintf(stderr, "kelvrin: this is a Wayland session; the hot key and the paste work "
                         "only with programs that run on X11 (through XWayland).\n");
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
    runOnX11();
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
