// How Kelvrin fares natively on Wayland beside X11, in one run: the CPU each capture of a text
// costs the real program with its window hidden, on a headless sway and on Xvfb with openbox,
// watching the same number of copies at the same pace; and, under sway, how long the
// compositor's key binding takes to bring the paste window up and Return to put the text into
// the program the user came from. bench/README.md explains the method and keeps the figures.
//
//   wayland_bench [--texts N] [--texts-per-second N] [--rounds N]
//
// This program only drives and watches: Kelvrin, sway, the clipboard owners and the target run
// as processes of their own (on Wayland as the unprivileged user of the test sessions), and
// Kelvrin's CPU is read from /proc.
#include "bench/Figures.h"
#include "bench/RunningKelvrin.h"
#include "bench/SwayDesktop.h"
#include "bench/X11Desktop.h"

#include <QCoreApplication>
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
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        int* value = arg == "--texts"              ? &options.texts
                     : arg == "--texts-per-second" ? &options.textsPerSecond
                     : arg == "--rounds"           ? &options.rounds
                                                   : nullptr;
        if (!value || i + 1 == argc || QByteArray(argv[i + 1]).toInt() < 0) {
            std::fputs(kUsage, stderr);
            std::exit(1);
        }
        *value = QByteArray(argv[++i]).toInt();
    }
    if (options.textsPerSecond == 0) {
        std::fputs(kUsage, stderr);
        std::exit(1);
    }
    return options;
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

const QString kKelvrin = QStringLiteral(KELVRIN_PROGRAM);
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

// The binding and the paste as a user sees them, over a Qt window on Wayland that records
// what is pasted into it. The keys are typed by wtype, started at the moment counted from: its own
// start-up is in the figures, and is measured apart, typing a key that does nothing. sway's
// notices of the focus moving are read from its IPC, stamped as they arrive.
void measureRounds(const SwaySession& sway, const Options& options) {
    for (int i = 1; i <= 3; ++i)
        sway.copy(QByteArray("paste text ") + QByteArray::number(i));

    QProcess target;
    sway.start(target, QStringLiteral(PASTE_TARGET_PROGRAM),
               {QStringLiteral("--title"), QStringLiteral("Notes")},
               {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    if (!target.waitForReadyRead(15000) || !target.readLine().startsWith("ready"))
        fail(QStringLiteral("paste_target did not start under sway"));
    QProcess notices;
    sway.start(notices, QStringLiteral("swaymsg"),
               {QStringLiteral("-t"), QStringLiteral("subscribe"), QStringLiteral("-m"),
                QStringLiteral("[\"window\"]")});
    notices.waitForStarted();
    QThread::msleep(kSettleMs);
    notices.readAll();

    // The next notice of that kind, with the moment it arrived.
    const auto awaitNotice = [&](const std::function<bool(const QJsonObject&)>& wanted) {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < deadline) {
            while (notices.canReadLine()) {
                const Clock::time_point arrived = Clock::now();
                if (wanted(QJsonDocument::fromJson(notices.readLine()).object()))
                    return std::optional(arrived);
            }
            notices.waitForReadyRead(50);
        }
        return std::optional<Clock::time_point>();
    };
    const auto focusOf = [](const char* appId) {
        return [appId](const QJsonObject& notice) {
            return notice.value(QStringLiteral("change")).toString() == u"focus" &&
                   notice.value(QStringLiteral("container"))
                           .toObject()
                           .value(QStringLiteral("app_id"))
                           .toString() == QLatin1String(appId);
        };
    };

    // Typing starts wtype (through runuser when the session's user is another) without waiting.
    QProcess typist;
    const auto type = [&](const QStringList& arguments) {
        sway.start(typist, QStringLiteral("wtype"), arguments);
        typist.waitForStarted();
    };
    const auto typed = [&] {
        if (!typist.waitForFinished(5000))
            fail(QStringLiteral("wtype did not end"));
    };
    std::vector<double> bindingToWindow, returnToText, startUp;
    for (int round = 1; round <= options.rounds; ++round) {
        if (!waitUntil(
                [&] {
                    return sway.focusedWindow().value(QStringLiteral("app_id")).toString() ==
                           u"paste_target";
                },
                5000))
            fail(QStringLiteral("round %1: the target is not in front").arg(round));
        QThread::msleep(kSettleMs);
        notices.readAll();

        const Clock::time_point idle = Clock::now();
        type({QStringLiteral("-k"), QStringLiteral("F24")});
        typed();
        startUp.push_back(msBetween(idle, Clock::now()));

        const Clock::time_point pressed = Clock::now();
        type({"-M", "logo", "-M", "shift", "-k", "v", "-m", "shift", "-m", "logo"});
        const std::optional<Clock::time_point> shown = awaitNotice(focusOf(KELVRIN_APP_ID));
        typed();
        if (!shown)
            fail(QStringLiteral("round %1: the paste window did not come up").arg(round));
        bindingToWindow.push_back(msBetween(pressed, *shown));

        QThread::msleep(kLookMs);
        const Clock::time_point enter = Clock::now();
        type({QStringLiteral("-k"), QStringLiteral("Return")});
        while (!target.canReadLine())
            if (!target.waitForReadyRead(5000))
                fail(QStringLiteral("round %1: the target got no paste").arg(round));
        returnToText.push_back(msBetween(enter, Clock::now()));
        typed();
        if (!target.readLine().startsWith("paste"))
            fail(QStringLiteral("round %1: the target got no paste").arg(round));
    }
    std::printf("Binding and paste over paste_target under sway, %d rounds     median     min     "
                "p10     p90     max  (ms)\n",
                options.rounds);
    printSpread("wtype's start-up (a key doing nothing)", startUp, 0);
    printSpread("binding -> paste window focused", bindingToWindow, 50);
    printSpread("Return -> text in the target", returnToText, 150);
    std::printf("  (both counted from wtype's start, its start-up included)\n");
    std::printf("\n");
    for (QProcess* process : {&target, &notices}) {
        process->terminate();
        if (!process->waitForFinished(2000))
            process->kill(), process->waitForFinished(2000);
    }
}

int run(const Options& options) {
    std::printf("Kelvrin on Wayland (headless sway) and X11 (Xvfb + openbox), %d cores; %d texts "
                "at %d a second, %d binding rounds\n\n",
                QThread::idealThreadCount(), options.texts, options.textsPerSecond, options.rounds);
    const SwayDesktop sway(kKelvrin);
    const RunningKelvrin kelvrin(sway, kKelvrin);
    if (options.texts > 0) {
        std::printf("Text captures, window hidden  CPU ms  idle ms/s  captured  per capture\n");
        const double wayland = measureTexts(sway, kelvrin, options);
        const double x11 = textsOnX11(options);
        std::printf("  Wayland / X11 per capture: %.2f\n\n", wayland / x11);
    }
    if (options.rounds > 0)
        measureRounds(sway.session(), options);
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
