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
#include "tests/e2e/XServer.h"
#include "tests/wayland/SwaySession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
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

// The process of that command name among the descendants of a process: on Wayland Kelvrin runs
// under runuser and env.
qint64 descendantNamed(qint64 ancestor, const QByteArray& name) {
    const auto parentOf = [](qint64 pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return qint64(0);
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
    };
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = entry.toLongLong();
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (pid == 0 || !comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        for (qint64 up = pid; up > 1; up = parentOf(up))
            if (up == ancestor)
                return pid;
    }
    return 0;
}

// One display system as the text benchmark drives it: Kelvrin running there, a way to copy a
// text as another program would, and Kelvrin's own answer to how many clippings it holds.
struct TextRun {
    const char* name;
    qint64 pid = 0;
    std::function<void(const QByteArray&)> copy;
    std::function<int()> clippings;
};

// CPU per capture: Kelvrin's CPU over the copies minus its idle rate over the same time.
void measureTexts(TextRun& run, const Options& options, std::vector<double>& perCapture) {
    QThread::sleep(kStartUpSeconds);
    const double idleStart = cpuMs(run.pid);
    QThread::sleep(kIdleSeconds);
    const double idlePerSecond = (cpuMs(run.pid) - idleStart) / kIdleSeconds;
    const int before = run.clippings();

    const double start = cpuMs(run.pid);
    const Clock::time_point begin = Clock::now();
    const auto slot = std::chrono::milliseconds(1000 / options.textsPerSecond);
    for (int i = 1; i <= options.texts; ++i) {
        run.copy(QByteArray("bench text ") + QByteArray::number(i) + ' ' + run.name);
        std::this_thread::sleep_until(begin + i * slot);
    }
    // The last copy's capture comes within a poll.
    QThread::msleep(500);
    const double cpu = cpuMs(run.pid) - start;
    const double wall = msBetween(begin, Clock::now()) / 1000.0;
    const int captured = run.clippings() - before;
    const double per = (cpu - idlePerSecond * wall) / std::max(captured, 1);
    std::printf("  %-8s %9.1f %12.2f %9d %10.3f\n", run.name, cpu, idlePerSecond, captured, per);
    perCapture.push_back(per);
}

int clippingsListed(const QByteArray& listing) {
    return int(listing.count('\n'));
}

// Kelvrin on a private X display, its window put away.
double textsOnX11(const Options& options) {
    XServer server;
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const auto run = [&](const QString& program, const QStringList& arguments,
                         const QByteArray& input = {}) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(10000);
        return process.readAllStandardOutput();
    };
    QProcess kelvrin;
    kelvrin.setProcessEnvironment(environment);
    kelvrin.setStandardOutputFile(QProcess::nullDevice());
    kelvrin.setStandardErrorFile(QProcess::nullDevice());
    kelvrin.start(kKelvrin, {});
    const QString pid = QString::number(kelvrin.processId());
    const auto shown = [&] {
        return !run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", pid}).isEmpty();
    };
    if (!waitUntil(shown, 15000))
        fail(QStringLiteral("kelvrin did not come up on X11"));
    // Closed through the window manager (openbox's Alt+F4), the window only hides.
    run(QStringLiteral("xdotool"), {"key", "alt+F4"});
    if (!waitUntil([&] { return !shown(); }, 5000))
        fail(QStringLiteral("kelvrin's window stayed on X11"));

    TextRun texts{"X11", kelvrin.processId(),
                  [&](const QByteArray& text) {
                      run(QStringLiteral("xclip"), {"-selection", "clipboard"}, text);
                  },
                  [&] { return clippingsListed(run(kKelvrin, {"--list"})); }};
    std::vector<double> perCapture;
    measureTexts(texts, options, perCapture);
    run(kKelvrin, {"--quit"});
    kelvrin.waitForFinished(10000);
    return perCapture.front();
}

// The application Kelvrin runs under sway, found among the windows sway lists.
std::optional<QJsonObject> kelvrinWindow(const SwaySession& sway) {
    for (const QJsonObject& window : sway.windows())
        if (window.value(QStringLiteral("app_id")).toString() == QLatin1String(KELVRIN_APP_ID))
            return window;
    return std::nullopt;
}

class SwayKelvrin {
public:
    explicit SwayKelvrin(const SwaySession& sway) : _sway(sway) {
        // Its log lines would mix with the figures.
        _process.setStandardOutputFile(QProcess::nullDevice());
        _process.setStandardErrorFile(QProcess::nullDevice());
        _sway.start(_process, kKelvrin, {});
        if (!waitUntil([&] { return listing().has_value(); }, 20000))
            fail(QStringLiteral("kelvrin did not answer under sway"));
        _pid = descendantNamed(_process.processId(), "kelvrin");
    }
    ~SwayKelvrin() {
        _sway.run(kKelvrin, {QStringLiteral("--quit")});
        _process.waitForFinished(10000);
    }
    qint64 pid() const { return _pid; }
    std::optional<QByteArray> listing() const {
        const SwaySession::Result list = _sway.run(kKelvrin, {QStringLiteral("--list")});
        return list.status == 0 ? std::optional(list.out) : std::nullopt;
    }
    // Closed through the compositor, the paste window only hides, as after a paste.
    void putAway() const {
        if (!waitUntil([&] { return kelvrinWindow(_sway).has_value(); }, 5000))
            return;
        _sway.run(QStringLiteral("swaymsg"),
                  {QStringLiteral("[app_id=\"" KELVRIN_APP_ID "\"] kill")});
        if (!waitUntil([&] { return !kelvrinWindow(_sway); }, 5000))
            fail(QStringLiteral("kelvrin's window stayed under sway"));
    }

private:
    const SwaySession& _sway;
    QProcess _process;
    qint64 _pid = 0;
};

double textsOnWayland(const SwaySession& sway, const SwayKelvrin& kelvrin, const Options& options) {
    kelvrin.putAway();
    TextRun texts{"Wayland", kelvrin.pid(),
                  [&](const QByteArray& text) {
                      sway.run(QStringLiteral("wl-copy"), {QString::fromUtf8(text)});
                  },
                  [&] { return clippingsListed(kelvrin.listing().value_or(QByteArray())); }};
    std::vector<double> perCapture;
    measureTexts(texts, options, perCapture);
    return perCapture.front();
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
    const SwaySession sway(kKelvrin + QStringLiteral(" --paste-window"));
    const SwayKelvrin kelvrin(sway);
    if (options.texts > 0) {
        std::printf("Text captures, window hidden  CPU ms  idle ms/s  captured  per capture\n");
        const double wayland = textsOnWayland(sway, kelvrin, options);
        const double x11 = textsOnX11(options);
        std::printf("  Wayland / X11 per capture: %.2f\n\n", wayland / x11);
    }
    if (options.rounds > 0)
        measureRounds(sway, options);
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
