// How Kelvrin holds up under a clipboard owner that takes the clipboard anew every 2 s and never
// answers, as a hung or hostile program may, measured from outside on X11 (Xvfb with openbox)
// and on Wayland (a headless sway): how long `kelvrin --list` takes to answer, asked back to
// back, beside the same asking with no such owner; whether the paste window comes up and pastes
// meanwhile; and how soon a copy made once the owner is gone is captured. bench/README.md
// explains the method and keeps the figures.
//
//   hostile_owner_bench [--kelvrin PATH] [--seconds N]
//
// --kelvrin measures another build of the program, an older one say; the owners, the paste
// target and the desktops stay this build's. Run as root, the Wayland half runs the program as
// the tests' unprivileged user, who must be able to read and run it.
#include "bench/Figures.h"
#include "bench/RunningKelvrin.h"
#include "bench/SwayDesktop.h"
#include "bench/X11Desktop.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Options {
    QString kelvrin = QStringLiteral(KELVRIN_PROGRAM);
    int seconds = 20;
};

constexpr char kUsage[] = "usage: hostile_owner_bench [--kelvrin PATH] [--seconds N]\n";

[[noreturn]] void usage() {
    std::fputs(kUsage, stderr);
    std::exit(1);
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        const QByteArray value = i + 1 < argc ? QByteArray(argv[++i]) : QByteArray();
        if (arg == "--kelvrin" && QFileInfo(QString::fromLocal8Bit(value)).isExecutable())
            options.kelvrin = QFileInfo(QString::fromLocal8Bit(value)).absoluteFilePath();
        else if (arg == "--seconds" && value.toInt() > 0)
            options.seconds = value.toInt();
        else
            usage();
    }
    return options;
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

constexpr double kTargetMs = 300;
// How long the paste window and the paste are waited for, each.
constexpr int kPasteLimitMs = 20000;
// How long a copy made once the owner is gone is waited for in the history.
constexpr int kCaptureLimitMs = 30000;
// Between the paste window coming up and Return: a person takes longer.
constexpr unsigned kLookMs = 200;

// A program that takes the clipboard every 2 s and leaves one of Kelvrin's requests unanswered
// for an hour, saying `stalled` each time Kelvrin makes that request.
struct Owner {
    const char* what;
    QString program;
    QStringList arguments;
    QByteArray stalled;
};

// It outlives the run only if the driver dies.
const QString kOwnerTimeout = QStringLiteral("600");

const std::vector<Owner> kX11Owners{
    {"never answering TARGETS",
     QStringLiteral(CLIP_OWNER_PROGRAM),
     {"--report", "--targets-delay", "3600", "--retake", "2", "--timeout", kOwnerTimeout,
      "UTF8_STRING=never sent"},
     "asked TARGETS"},
    {"answering TARGETS, never the text",
     QStringLiteral(CLIP_OWNER_PROGRAM),
     {"--report", "--delay", "3600", "--retake", "2", "--timeout", kOwnerTimeout,
      "UTF8_STRING=never sent"},
     "asked UTF8_STRING"},
};

// A Wayland owner offers its types with the offer itself: only the data can be withheld.
const std::vector<Owner> kWaylandOwners{
    {"never answering text/plain",
     QStringLiteral(WL_CLIP_OWNER_PROGRAM),
     {"--delay", "text/plain", "3600", "--retake", "2", "text/plain=never sent"},
     "asked text/plain"},
};

struct Asking {
    std::vector<double> ms;
    int unanswered = 0;
};

// `kelvrin --list` asked back to back for that long, each answer timed from the command's start.
Asking askBackToBack(const RunningKelvrin& kelvrin, int seconds) {
    Asking asking;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        const RunningKelvrin::Answer answer = kelvrin.list();
        asking.ms.push_back(answer.ms);
        asking.unanswered += !answer.listing;
    }
    return asking;
}

void printAsking(const char* name, const Asking& asking) {
    const Spread figures = spread(asking.ms);
    std::printf("  %-40s %7zu %10d %8.1f %8.1f %8.1f\n", name, asking.ms.size(), asking.unanswered,
                figures.median, figures.p90, figures.max);
}

// From the copy's start until `kelvrin --list` shows the text as the newest clipping, that
// answer included; absent when it did not within the limit.
std::optional<double> copyCaptured(const Desktop& desktop, const RunningKelvrin& kelvrin,
                                   const QByteArray& text) {
    const Clock::time_point copied = Clock::now();
    desktop.copy(text);
    while (msBetween(copied, Clock::now()) < kCaptureLimitMs) {
        const std::optional<QByteArray> listing = kelvrin.list().listing;
        if (listing && newestListed(*listing) == QString::fromUtf8(text))
            return msBetween(copied, Clock::now());
    }
    return std::nullopt;
}

struct PasteRound {
    // From the hot key to the paste window having the keyboard.
    std::optional<double> windowMs;
    // From Return to the paste keystroke in the target.
    std::optional<double> pastedMs;
    QString pasted;
};

// The hot key pressed over the target, then Return once the paste window has the keyboard and
// a person has looked at it. Who has the keyboard is asked every few tens of ms. A paste window
// that came too late is put away, so the next round starts over the target again.
PasteRound pasteOnce(const Desktop& desktop, const RunningKelvrin& kelvrin, QProcess& pasteTarget) {
    const auto kelvrinInFront = [&] { return desktop.focusedPid() == kelvrin.pid(); };
    PasteRound round;
    if (!waitUntil([&] { return desktop.focusedPid() != 0 && !kelvrinInFront(); }, 5000))
        fail(QStringLiteral("the target is not in front on ") + QLatin1String(desktop.name()));
    pasteTarget.readAll();
    const Clock::time_point pressed = Clock::now();
    desktop.pressPasteKey();
    if (waitUntil(kelvrinInFront, kPasteLimitMs)) {
        round.windowMs = msBetween(pressed, Clock::now());
        QThread::msleep(kLookMs);
        const Clock::time_point enter = Clock::now();
        desktop.pressReturn();
        if (waitUntil([&] { return pasteTarget.canReadLine(); }, kPasteLimitMs)) {
            round.pastedMs = msBetween(enter, Clock::now());
            // "paste KEYS BASE64"
            round.pasted = QString::fromUtf8(
                QByteArray::fromBase64(pasteTarget.readLine().trimmed().split(' ').value(2)));
        }
    }
    if (!round.pastedMs)
        desktop.closeWindowsOf(kelvrin.pid());
    return round;
}

void printPaste(const PasteRound& round, const QString& expected) {
    if (!round.windowMs)
        std::printf("    no paste window within %d s of the hot key\n", kPasteLimitMs / 1000);
    else if (!round.pastedMs)
        std::printf("    paste window after %.0f ms, no paste within %d s of Return\n",
                    *round.windowMs, kPasteLimitMs / 1000);
    else
        std::printf("    paste window after %.0f ms, \"%s\" in the target %.0f ms after Return%s\n",
                    *round.windowMs, qPrintable(round.pasted), *round.pastedMs,
                    round.pasted == expected ? "" : " (not the newest clipping)");
}

void printCapture(const std::optional<double>& capturedMs) {
    if (capturedMs)
        std::printf("    once the owner ended, a copy was listed %.0f ms after it was made\n",
                    *capturedMs);
    else
        std::printf("    once the owner ended, a copy was not listed within %d s\n",
                    kCaptureLimitMs / 1000);
}

void end(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill(), process.waitForFinished(2000);
}

// What each owner's round works in: Kelvrin on its desktop, the program it pastes into, and the
// text copied last, which a paste brings.
struct Stage {
    const Desktop& desktop;
    const RunningKelvrin& kelvrin;
    QProcess& pasteTarget;
    QByteArray newest;
};

// With the owner holding the clipboard: --list back to back, then one paste; then the owner
// ends and a copy is made.
void measureOwner(Stage& stage, const Owner& owner, const Options& options,
                  double baselineLongest) {
    const Desktop& desktop = stage.desktop;
    const RunningKelvrin& kelvrin = stage.kelvrin;
    const QString label = QStringLiteral("%1, owner %2")
                              .arg(QLatin1String(desktop.name()), QLatin1String(owner.what));
    QProcess hostile;
    desktop.start(hostile, owner.program, owner.arguments);
    QByteArray said;
    const auto stalls = [&] {
        QCoreApplication::processEvents();
        said += hostile.readAllStandardOutput();
        return said.count(owner.stalled + '\n');
    };
    // Measured from Kelvrin's first request the owner leaves hanging.
    if (!waitUntil([&] { return stalls() > 0; }, 15000))
        fail(label + QStringLiteral(": Kelvrin never asked the owner"));

    const Asking asking = askBackToBack(kelvrin, options.seconds);
    const int asked = int(stalls());
    const std::string what = std::string("owner ") + owner.what;
    printAsking(what.c_str(), asking);
    const double longest = spread(asking.ms).max;
    std::printf("    longest / baseline longest %.1f; Kelvrin asked the owner %d times (\"%s\")\n",
                longest / baselineLongest, asked, owner.stalled.constData());
    target(label + QStringLiteral(": longest --list answer <= %1 ms").arg(kTargetMs),
           longest <= kTargetMs && asking.unanswered == 0);

    const PasteRound round = pasteOnce(desktop, kelvrin, stage.pasteTarget);
    const QString newest = QString::fromUtf8(stage.newest);
    printPaste(round, newest);
    // The paste is held to the same "at once" as the command line.
    target(label + QStringLiteral(": the paste window within %1 ms of the hot key, the newest "
                                  "clipping pasted within %1 ms of Return")
                       .arg(kTargetMs),
           round.pastedMs && *round.windowMs <= kTargetMs && *round.pastedMs <= kTargetMs &&
               round.pasted == newest);
    end(hostile);

    const QByteArray after = QByteArray("copied after the owner ") + owner.what;
    const std::optional<double> captured = copyCaptured(desktop, kelvrin, after);
    printCapture(captured);
    if (captured)
        stage.newest = after;
    target(label + QStringLiteral(": a copy made once the owner is gone is captured"),
           captured.has_value());
}

void measureOn(const Desktop& desktop, const std::vector<Owner>& owners, const QString& platform,
               const Options& options) {
    const RunningKelvrin kelvrin(desktop, options.kelvrin);
    const QByteArray first = "first text";
    if (!copyCaptured(desktop, kelvrin, first))
        fail(QStringLiteral("the first copy was not captured on ") + QLatin1String(desktop.name()));
    QProcess pasteTarget;
    desktop.start(pasteTarget, QStringLiteral(PASTE_TARGET_PROGRAM), {"--title", "Notes"},
                  {QStringLiteral("QT_QPA_PLATFORM=") + platform});
    if (!waitUntil([&] { return pasteTarget.canReadLine(); }, 15000) ||
        !pasteTarget.readLine().startsWith("ready"))
        fail(QStringLiteral("paste_target did not start on ") + QLatin1String(desktop.name()));

    const std::string heading = desktop.name() + std::string(", --list back to back (ms)");
    std::printf("%-42s %7s %10s %8s %8s %8s\n", heading.c_str(), "answers", "unanswered", "median",
                "p90", "max");
    const Asking baseline = askBackToBack(kelvrin, options.seconds);
    printAsking("no other owner (baseline)", baseline);
    Stage stage{desktop, kelvrin, pasteTarget, first};
    for (const Owner& owner : owners)
        measureOwner(stage, owner, options, spread(baseline.ms).max);
    std::printf("\n");
    end(pasteTarget);
}

int run(const Options& options) {
    std::printf("Kelvrin under a clipboard owner that takes the clipboard every 2 s and never "
                "answers, %d cores; --list asked for %d s at a time\n  %s\n\n",
                QThread::idealThreadCount(), options.seconds, qPrintable(options.kelvrin));
    {
        const X11Desktop x11;
        measureOn(x11, kX11Owners, QStringLiteral("xcb"), options);
    }
    {
        const SwayDesktop sway(options.kelvrin);
        measureOn(sway, kWaylandOwners, QStringLiteral("wayland"), options);
    }
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
        std::fprintf(stderr, "hostile_owner_bench: %s\n", error.what());
        return 1;
    }
}
