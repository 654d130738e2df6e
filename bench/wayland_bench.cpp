// How Kelvrin fares on Wayland beside X11, in one run: the CPU each capture of a text costs the
// real program with its window hidden, on a headless sway, on Xvfb with openbox and on a headless
// GNOME Shell (with its extension), watching the same number of copies at the same pace; and, under
// sway, KWin and GNOME Shell, how long the compositor's key binding or the hot key takes to bring
// the paste window up and Return to put the text into the program the user came from.
// bench/README.md explains the method and keeps the figures.
//
//   wayland_bench [--texts N] [--texts-per-second N] [--rounds N]
//
// This program only drives and watches: Kelvrin, the compositors, the clipboard owners and the
// target run as processes of their own (on Wayland as the unprivileged user of the test
// sessions), and Kelvrin's CPU is read from /proc.
#include "bench/Figures.h"
#include "bench/GnomeDesktop.h"
#include "bench/RunningKelvrin.h"
#include "bench/SwayDesktop.h"
#include "bench/X11Desktop.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

struct Options {
    int texts = 100;
    int textsPerSecond = 5;
    int rounds = 20;
};

constexpr char kUsage[] = "usage: wayland_bench [--texts N] [--texts-per-second N] [--rounds N]\n";

Options parse(int argc, char** argv) {
    Options options;
    readCounts(argc, argv,
               {{"--texts", &options.texts},
                {"--texts-per-second", &options.textsPerSecond, 1},
                {"--rounds", &options.rounds}},
               kUsage);
    return options;
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

const QString kKelvrin = QStringLiteral(KELVRIN_PROGRAM);
const QString kKdeWindows = QStringLiteral(KDE_WINDOWS_PROGRAM);
// Start-up work (fonts, the first paint) is not idling; then the idle rate is taken over this.
constexpr unsigned kStartUpSeconds = 3;
constexpr unsigned kIdleSeconds = 5;
// Between rounds, and between the paste window coming up and Return: a person takes longer.
constexpr unsigned kSettleMs = 300;
constexpr unsigned kLookMs = 200;

// CPU per capture: Kelvrin's CPU over the copies minus its idle rate over the same time.
double measureTexts(const Desktop& desktop, const RunningKelvrin& kelvrin, const Options& options) {
    const auto clippings = [&] {
        return int(kelvrin.list().listing.value_or(QByteArray()).count('\n'));
    };
    QThread::sleep(kStartUpSeconds);
    const double idleStart = cpuMs(kelvrin.pid());
    QThread::sleep(kIdleSeconds);
    const double idlePerSecond = (cpuMs(kelvrin.pid()) - idleStart) / kIdleSeconds;
    const int before = clippings();

    const double start = cpuMs(kelvrin.pid());
    const Clock::time_point begin = Clock::now();
    const auto slot = std::chrono::milliseconds(1000 / options.textsPerSecond);
    for (int i = 1; i <= options.texts; ++i) {
        desktop.copy(QByteArray("bench text ") + QByteArray::number(i) + ' ' + desktop.name());
        std::this_thread::sleep_until(begin + i * slot);
    }
    // The last copy's capture comes within a poll.
    QThread::msleep(500);
    const double cpu = cpuMs(kelvrin.pid()) - start;
    const double wall = msBetween(begin, Clock::now()) / 1000.0;
    const int captured = clippings() - before;
    const double per = (cpu - idlePerSecond * wall) / std::max(captured, 1);
    std::printf("  %-8s %9.1f %12.2f %9d %10.3f\n", desktop.name(), cpu, idlePerSecond, captured,
                per);
    return per;
}

// Kelvrin on a private X display of its own.
double textsOnX11(const Options& options) {
    const X11Desktop x11;
    const RunningKelvrin kelvrin(x11, kKelvrin);
    return measureTexts(x11, kelvrin, options);
}

// What the rounds need of a compositor: a program that types keys as a user would, started at the
// moment counted from, and one that tells, a line as each comes, which program the keyboard went
// to.
struct KeysAndNotices {
    const WaylandSession& session;
    const char* name;
    // How a user calls the paste window up there.
    const char* callingUp;
    QString typist;
    // The typist's arguments for a key doing nothing, for calling the window up, and for Return.
    QStringList nothing, callUp, enter;
    QString watcher;
    QStringList watching;
    // The app_id a notice says has the keyboard now; nothing for a notice of something else.
    std::function<std::optional<QString>(const QByteArray&)> focusOf;
};

// Under sway: wtype, and sway's IPC.
KeysAndNotices swayKeys(const SwaySession& sway) {
    return {sway,
            "sway",
            "binding",
            QStringLiteral("wtype"),
            {QStringLiteral("-k"), QStringLiteral("F24")},
            {"-M", "logo", "-M", "shift", "-k", "v", "-m", "shift", "-m", "logo"},
            {QStringLiteral("-k"), QStringLiteral("Return")},
            QStringLiteral("swaymsg"),
            {QStringLiteral("-t"), QStringLiteral("subscribe"), QStringLiteral("-m"),
             QStringLiteral("[\"window\"]")},
            [](const QByteArray& line) -> std::optional<QString> {
                const QJsonObject notice = QJsonDocument::fromJson(line).object();
                if (notice.value(QStringLiteral("change")).toString() != u"focus")
                    return std::nullopt;
                return notice.value(QStringLiteral("container"))
                    .toObject()
                    .value(QStringLiteral("app_id"))
                    .toString();
            }};
}

// Under KWin: kde_windows for both, typing through KWin's input and following its window list.
KeysAndNotices kwinKeys(const KwinSession& kwin) {
    const QString type = QStringLiteral("type");
    return {kwin,
            "KWin",
            "hot key",
            kKdeWindows,
            {type, QStringLiteral("F24")},
            {type, QStringLiteral("Control_L+Down")},
            {type, QStringLiteral("Return")},
            kKdeWindows,
            {QStringLiteral("watch")},
            [](const QByteArray& line) -> std::optional<QString> {
                return QString::fromUtf8(line.trimmed());
            }};
}

// Has the shell tell of each move of the keyboard on the session bus: the app_id of a Wayland
// window, the class of an X11 one.
const QString kBroadcastFocus = QStringLiteral(
    "const {Gio, GLib} = imports.gi;"
    "global.kelvrinBenchFocus = global.kelvrinBenchFocus || "
    "global.display.connect('notify::focus-window', () => {"
    "  const window = global.display.focus_window;"
    "  Gio.DBus.session.emit_signal(null, '/io/github/kelvrin/Bench', 'io.github.kelvrin.Bench',"
    "      'Focus', new GLib.Variant('(s)', [window ? window.get_wm_class() || '' : '']));"
    "}); 'broadcasting'");

// Under GNOME Shell: gdbus has the shell press the keys on a keyboard of its own, and dbus-monitor
// follows the shell's notices of the keyboard moving. Kelvrin's window is on Wayland, known by its
// app_id.
KeysAndNotices gnomeKeys(const GnomeSession& gnome) {
    if (gnome.eval(kBroadcastFocus) != u"broadcasting")
        fail(QStringLiteral("GNOME Shell does not tell where the keyboard goes"));
    const auto pressing = [](const QStringList& keys) {
        return GnomeSession::evalArguments(GnomeSession::pressScript(keys));
    };
    return {gnome,
            "GNOME Shell",
            "hot key",
            QStringLiteral("gdbus"),
            pressing({QStringLiteral("F24")}),
            pressing({QStringLiteral("Control_L"), QStringLiteral("Down")}),
            pressing({QStringLiteral("Return")}),
            QStringLiteral("dbus-monitor"),
            {QStringLiteral("--session"),
             QStringLiteral("type='signal',interface='io.github.kelvrin.Bench'")},
            [](const QByteArray& line) -> std::optional<QString> {
                // The signal's argument, on a line of its own: string "paste_target"
                const QByteArray argument = line.trimmed();
                if (!argument.startsWith("string \"") || !argument.endsWith('"'))
                    return std::nullopt;
                return QString::fromUtf8(argument.mid(8, argument.size() - 9));
            }};
}

// The hot key (or binding) and the paste as a user sees them, over a Qt window on Wayland that
// records what is pasted into it. The typist is started at the moment counted from: its own
// start-up is in the figures, and is measured apart in each round, typing a key that does
// nothing, to be taken off them. The notices
// of the keyboard moving are stamped as they arrive.
void measureRounds(const KeysAndNotices& keys, const Options& options) {
    const WaylandSession& session = keys.session;
    for (int i = 1; i <= 3; ++i)
        session.copy(QByteArray("paste text ") + QByteArray::number(i));

    QProcess notices;
    session.start(notices, keys.watcher, keys.watching);
    // Before the target, whose taking the keyboard is the first notice.
    notices.waitForStarted();

    QProcess target;
    session.start(target, QStringLiteral(PASTE_TARGET_PROGRAM),
                  {QStringLiteral("--title"), QStringLiteral("Notes")},
                  {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    if (!target.waitForReadyRead(15000) || !target.readLine().startsWith("ready"))
        fail(QStringLiteral("paste_target did not start under ") + QLatin1String(keys.name));
    // The program the keyboard went to last, as the notices told.
    QString focused;
    // The next notice of the keyboard going to that program, with the moment it arrived; nothing
    // when none came within the time. Notices of other programs are read on the way.
    const auto awaitFocus = [&](const QString& appId, int timeoutMs) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        do {
            while (notices.canReadLine()) {
                const Clock::time_point arrived = Clock::now();
                if (const std::optional<QString> to = keys.focusOf(notices.readLine())) {
                    focused = *to;
                    if (focused == appId)
                        return std::optional(arrived);
                }
            }
            notices.waitForReadyRead(10);
        } while (Clock::now() < deadline);
        return std::optional<Clock::time_point>();
    };
    const QString targetId = QStringLiteral("paste_target");
    const QString kelvrinId = QStringLiteral(KELVRIN_APP_ID);

    QProcess typist;
    const auto type = [&](const QStringList& arguments) {
        session.start(typist, keys.typist, arguments);
        typist.waitForStarted();
    };
    const auto typed = [&] {
        if (!typist.waitForFinished(5000))
            fail(keys.typist + QStringLiteral(" did not end"));
    };
    std::vector<double> callUpToWindow, returnToText, startUp;
    for (int round = 1; round <= options.rounds; ++round) {
        if (focused != targetId && !awaitFocus(targetId, 5000))
            fail(QStringLiteral("round %1: the target is not in front").arg(round));
        QThread::msleep(kSettleMs);
        awaitFocus({}, 0);

        const Clock::time_point idle = Clock::now();
        type(keys.nothing);
        typed();
        startUp.push_back(msBetween(idle, Clock::now()));

        const Clock::time_point pressed = Clock::now();
        type(keys.callUp);
        const std::optional<Clock::time_point> shown = awaitFocus(kelvrinId, 5000);
        typed();
        if (!shown)
            fail(QStringLiteral("round %1: the paste window did not come up").arg(round));
        callUpToWindow.push_back(msBetween(pressed, *shown));

        QThread::msleep(kLookMs);
        const Clock::time_point enter = Clock::now();
        type(keys.enter);
        while (!target.canReadLine())
            if (!target.waitForReadyRead(5000))
                fail(QStringLiteral("round %1: the target got no paste").arg(round));
        returnToText.push_back(msBetween(enter, Clock::now()));
        typed();
        if (!target.readLine().startsWith("paste"))
            fail(QStringLiteral("round %1: the target got no paste").arg(round));
    }
    std::printf("%s and paste over paste_target under %s, %d rounds     median     min     "
                "p10     p90     max  (ms)\n",
                keys.callingUp, keys.name, options.rounds);
    const QByteArray typistName = QFileInfo(keys.typist).fileName().toUtf8();
    // What the user waits for: each round's figure less the typist's start-up in that round.
    const auto lessStartUp = [&](std::vector<double> samples) {
        for (size_t round = 0; round < samples.size(); ++round)
            samples[round] -= startUp[round];
        return samples;
    };
    const QByteArray shown = QByteArray(keys.callingUp) + " -> paste window focused";
    printSpread((typistName + "'s start-up (a key doing nothing)").constData(), startUp, 0);
    printSpread(shown.constData(), callUpToWindow, 0);
    printSpread("Return -> text in the target", returnToText, 0);
    std::printf("  (counted from %s's start, its start-up included; less it:)\n",
                typistName.constData());
    printSpread((shown + " under " + keys.name).constData(), lessStartUp(callUpToWindow), 50);
    printSpread((QByteArrayLiteral("Return -> text under ") + keys.name).constData(),
                lessStartUp(returnToText), 150);
    std::printf("\n");
    for (QProcess* process : {&target, &notices}) {
        process->terminate();
        if (!process->waitForFinished(2000))
            process->kill(), process->waitForFinished(2000);
    }
}

// Under KWin Kelvrin runs as a user starts it, its window left up: the target, started after it,
// takes the keyboard from it.
void measureRoundsOnKwin(const Options& options) {
    const KwinSession kwin({kKelvrin, kKdeWindows});
    QProcess kelvrin;
    kelvrin.setStandardOutputFile(QProcess::nullDevice());
    kelvrin.setStandardErrorFile(QProcess::nullDevice());
    kwin.start(kelvrin, kKelvrin, {});
    if (!waitUntil([&] { return kwin.run(kKelvrin, {QStringLiteral("--list")}).status == 0; },
                   20000))
        fail(QStringLiteral("kelvrin did not answer under KWin"));
    measureRounds(kwinKeys(kwin), options);
    kwin.run(kKelvrin, {QStringLiteral("--quit")});
    if (!kelvrin.waitForFinished(10000))
        kelvrin.kill(), kelvrin.waitForFinished(2000);
}

int run(const Options& options) {
    std::printf("Kelvrin on Wayland (headless sway, KWin, GNOME Shell) and X11 (Xvfb + openbox), "
                "%d cores; %d texts at %d a second, %d binding rounds\n\n",
                QThread::idealThreadCount(), options.texts, options.textsPerSecond, options.rounds);
    std::optional<double> x11;
    {
        const SwayDesktop sway(kKelvrin);
        const RunningKelvrin kelvrin(sway, kKelvrin);
        if (options.texts > 0) {
            std::printf("Text captures, window hidden  CPU ms  idle ms/s  captured  per capture\n");
            const double wayland = measureTexts(sway, kelvrin, options);
            x11 = textsOnX11(options);
            std::printf("  Wayland / X11 per capture: %.2f\n\n", wayland / *x11);
        }
        if (options.rounds > 0) {
            measureRounds(swayKeys(sway.session()), options);
            measureRoundsOnKwin(options);
        }
    }
    // GNOME Shell last, alone: the heaviest of the sessions.
    const GnomeDesktop gnome(kKelvrin);
    const RunningKelvrin kelvrin(gnome, kKelvrin);
    if (x11) {
        std::printf("Text captures, window hidden  CPU ms  idle ms/s  captured  per capture\n");
        std::printf("  GNOME / X11 per capture: %.2f\n\n",
                    measureTexts(gnome, kelvrin, options) / *x11);
    }
    if (options.rounds > 0)
        measureRounds(gnomeKeys(gnome.session()), options);
    printTargets();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    try {
        return run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "wayland_bench: %s\n", error.what());
        return 1;
    }
}
