// Kelvrin as the application runs it (settings, paste window, the real clipboard and the
// 0.2 s poll), which also tells the benchmark on standard output about every capture:
//   captured <captures so far> <clippings in the history> <payload bytes in the history>
// The report rides on the table's notice of an inserted row, so it adds no polling of its own.
// With --hidden the paste window is put away after launch, as it is after the first paste.
// With --report-active it also tells when the application comes to the front and when it leaves:
//   active <CLOCK_MONOTONIC nanoseconds>   or   inactive <...>
// stamped here, so the benchmark can set the moment against its own clock rather than against
// when it gets round to reading the pipe.
// With --watch-loop a 10 ms timer runs on the event loop, and each line "loop" on standard input
// is answered with the longest time the loop went without running it since the last question:
//   loop <milliseconds>
// That is how long a capture keeps the window from answering the user. The timer wakes the probe
// a hundred times a second, so it is left out where CPU is measured.
// With --data-folder <folder> the sets are loaded from there and saved there as they change;
// --no-autosave keeps them in memory until the quit, as with the setting off.
#include "app/MainApplication.h"
#include "app/MyObject.h"
#include "platform/Backends.h"
#include "platform/Defaults.h"
#include "platform/Pasteboard.h"
#include "window/PasteView.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// The settings a user would have chosen in the preferences for the folder options.
std::unique_ptr<Defaults> settingsIn(const QTemporaryDir& folder, const QStringList& arguments) {
    auto defaults = std::make_unique<Defaults>(folder.filePath(QStringLiteral("Kelvrin.ini")));
    const qsizetype dataFolder = arguments.indexOf(QStringLiteral("--data-folder"));
    if (dataFolder > 0 && dataFolder + 1 < arguments.size())
        defaults->setObject(arguments[dataFolder + 1], QStringLiteral("initial_directory"));
    if (arguments.contains(QStringLiteral("--no-autosave")))
        defaults->setBool(false, QStringLiteral("autosave"));
    return defaults;
}

} // namespace

int main(int argc, char** argv) {
    // The backends as the application starts them: without them no hot key is installed.
    const std::unique_ptr<Backends> backends = Backends::choose();
    if (!backends)
        return 1;
    MainApplication app(argc, argv);
    backends->start();
    QTemporaryDir settings;
    MyObject kelvrin(settingsIn(settings, app.arguments()), backends->clipboard());
    kelvrin.applicationWillFinishLaunching();
    // Put away only once the window manager has shown the window: a window hidden while its map
    // is still on the way stays on the screen under openbox, though Qt takes it for hidden.
    if (app.arguments().contains(QStringLiteral("--hidden")))
        QObject::connect(
            &app, &QGuiApplication::applicationStateChanged, &kelvrin,
            [&](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    kelvrin.pasteWindow()->pasteWindowOrderOut();
            },
            Qt::SingleShotConnection);

    const PasteData* head = nullptr;
    unsigned long long captures = 0;
    QObject::connect(
        kelvrin.pasteWindow()->table()->model(), &QAbstractItemModel::rowsInserted, [&] {
            const PasteDataList& history = kelvrin.pasteWindow()->pasteArray()[0]->pasteData();
            if (history.empty() || history.front().get() == head)
                return;
            head = history.front().get();
            long long bytes = 0;
            for (const auto& data : history)
                bytes += data->extraData() ? data->extraData()->size() : 0;
            char line[96];
            const int size = std::snprintf(line, sizeof line, "captured %llu %zu %lld\n",
                                           ++captures, history.size(), bytes);
            (void)!write(STDOUT_FILENO, line, size_t(size));
        });
    // Connected after MyObject's own handler, so "active" comes once the paste window is up.
    if (app.arguments().contains(QStringLiteral("--report-active")))
        QObject::connect(
            &app, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                char line[64];
                const int size =
                    std::snprintf(line, sizeof line, "%s %lld\n",
                                  state == Qt::ApplicationActive ? "active" : "inactive",
                                  now.tv_sec * 1000000000LL + now.tv_nsec);
                (void)!write(STDOUT_FILENO, line, size_t(size));
            });
    QTimer loopTimer;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QSocketNotifier questions(STDIN_FILENO, QSocketNotifier::Read);
    questions.setEnabled(false);
    if (app.arguments().contains(QStringLiteral("--watch-loop"))) {
        loopTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&loopTimer, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, sinceTick.nsecsElapsed());
            sinceTick.restart();
        });
        QObject::connect(&questions, &QSocketNotifier::activated, [&] {
            char buffer[256];
            const ssize_t size = read(STDIN_FILENO, buffer, sizeof buffer);
            if (size <= 0) {
                questions.setEnabled(false);
                return;
            }
            // A stall still going on when the question comes counts as far as it went.
            // Counted here, it is not counted again by the tick that ends it.
            const qint64 longest = std::max(longestGap, sinceTick.nsecsElapsed());
            longestGap = 0;
            sinceTick.restart();
            for (ssize_t i = 0; i < size; ++i)
                if (buffer[i] == '\n') {
                    char line[64];
                    const int length =
                        std::snprintf(line, sizeof line, "loop %.1f\n", double(longest) / 1e6);
                    (void)!write(STDOUT_FILENO, line, size_t(length));
                }
        });
        questions.setEnabled(true);
        sinceTick.start();
        loopTimer.start(10);
    }
    (void)!write(STDOUT_FILENO, "ready\n", 6);
    const int status = app.exec();
    kelvrin.applicationWillTerminate();
    return status;
}
