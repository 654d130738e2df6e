#include "app/CommandLine.h"
#include "app/MainApplication.h"
#include "app/MyObject.h"
#include "app/PrintFolder.h"
#include "app/Translators.h"
#include "platform/Backends.h"
#include "platform/Defaults.h"
#include "platform/InstanceChannel.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/QuitSignals.h"

#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = CommandLine::parse(arguments);
    switch (command.action()) {
    case CommandLine::Action::Run:
        break;
    case CommandLine::Action::PrintFolder: {
        // Inspecting a folder needs no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        MainApplication app(argc, argv);
        return printFolder(command.argument());
    }
    case CommandLine::Action::Show:
    case CommandLine::Action::PasteWindow:
    case CommandLine::Action::Quit:
    case CommandLine::Action::List:
        return command.sendToInstance();
    default:
        return command.print();
    }

    // One Kelvrin per user, settled before anything is read or shown: a second one hands its
    // start to the first.
    InstanceChannel channel;
    if (const std::optional<int> status = CommandLine::claimInstance(channel))
        return *status;
    const std::unique_ptr<Backends> backends = Backends::choose();
    if (!backends)
        return 1;
    MainApplication app(argc, argv);
    const Translators translators;
    // May ask the user about the desktop's part in Kelvrin's work.
    backends->start();
    MyObject delegate(std::make_unique<Defaults>(), backends->clipboard());
    if (QString error; !channel.listen(
            [&delegate](const QByteArray& request) { return delegate.answerCommand(request); },
            &error))
        Log::write(QStringLiteral("warning*** :[main] [no command line for this instance: %1]")
                       .arg(error));

    // Closing a window never quits: with no data folder the history lives only in this
    // process. A signal or the session manager ends the session: it quits without asking.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &delegate,
                     [&delegate] { delegate.endSession(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate,
                     [&delegate] { delegate.commitData(); });
    // A broken connection to the display may end the process without the event loop's help.
    backends->whenConnectionLost(&delegate, [&delegate] { delegate.commitData(); });

    delegate.applicationWillFinishLaunching();
    // The session may have ended while a launch alert waited for an answer.
    const int status = delegate.isQuitting() ? 0 : app.exec();
    // The loop may also end without asking us, when the session manager ends the session.
    if (!delegate.isQuitting())
        delegate.sessionShouldTerminate();
    delegate.applicationWillTerminate();
    return status;
}
