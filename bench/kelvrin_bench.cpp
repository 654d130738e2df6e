// What Kelvrin costs, measured on a private X display in one run so the figures compare: idle
// CPU and CPU per text capture side by side with a bare Qt program and, when it is installed,
// Debian's parcellite, all watching the same copies; memory after text and after screenshot
// captures; how long a screenshot keeps the event loop from running; how long the hot key
// and the paste take as a user sees them; and what saving the sets as they change costs.
// bench/README.md explains the method and keeps the figures.
//
//   kelvrin_bench [--idle-seconds N] [--texts N] [--texts-per-second N] [--screenshots N]
//                 [--hotkeys N] [--autosave-screenshots N]
//
// This program only drives and watches: Kelvrin, the yardsticks and the clipboard owners run as
// processes of their own, and their CPU and memory are read from /proc.
#include "bench/Figures.h"
#include "formats/Picture.h"
#include "model/ExtraType.h"
#include "tests/e2e/XServer.h"
#include "tests/support/SetFolder.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) would break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

struct Options {
    int idleSeconds = 20;
    int texts = 100;
    int textsPerSecond = 5;
    int textMemoryAt = 100;
    int screenshots = 40;
    int hotKeys = 30;
    int autosaveScreenshots = 100;
};

constexpr char kUsage[] = "usage: kelvrin_bench [--idle-seconds N] [--texts N] "
                          "[--texts-per-second N] [--screenshots N] [--hotkeys N] "
                          "[--autosave-screenshots N]\n";

Options parse(int argc, char** argv) {
    Options options;
    readCounts(argc, argv,
               {{"--idle-seconds", &options.idleSeconds, 1},
                {"--texts", &options.texts},
                {"--texts-per-second", &options.textsPerSecond, 1},
                {"--screenshots", &options.screenshots},
                {"--hotkeys", &options.hotKeys},
                {"--autosave-screenshots", &options.autosaveScreenshots}},
               kUsage);
    options.textMemoryAt = std::min(options.textMemoryAt, options.texts);
    return options;
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

// CPU time from the tick counters, coarse but keeping the time of threads that have ended
// (Qt's image conversions run on pool threads that come and go).
double cpuTicksMs(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15; the list starts at field 3.
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

double statusMiB(qint64 pid, const QByteArray& field) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine())
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// One program under watch. Those that announce themselves print "ready" once started.
class Program {
public:
    // A quiet program's chatter is thrown away rather than mixed into the figures.
    Program(const QString& path, const QStringList& arguments, bool announces = true,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
            bool quiet = false) {
        _process.setProcessEnvironment(environment);
        if (quiet) {
            _process.setStandardOutputFile(QProcess::nullDevice());
            _process.setStandardErrorFile(QProcess::nullDevice());
        } else {
            _process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        }
        _process.start(path, arguments);
        if (!_process.waitForStarted())
            fail(QStringLiteral("cannot start ") + path);
        if (announces && readLine(15000) != "ready")
            fail(path + QStringLiteral(" did not start"));
    }
    ~Program() {
        _process.terminate();
        if (!_process.waitForFinished(5000))
            _process.kill();
        _process.waitForFinished(1000);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    qint64 pid() const { return _process.processId(); }
    void write(const QByteArray& line) {
        _process.write(line + '\n');
        _process.waitForBytesWritten(1000);
    }

    QByteArray readLine(int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (!_process.canReadLine()) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0 || _process.state() == QProcess::NotRunning)
                return {};
            _process.waitForReadyRead(int(left));
        }
        return _process.readLine().trimmed();
    }

private:
    QProcess _process;
};

struct Capture {
    qint64 captures = 0;
    qint64 clippings = 0;
    qint64 payloadBytes = 0;
};

// Waits for the probe to report its capture number `count`.
Capture waitForCapture(Program& probe, qint64 count, int timeoutMs) {
    Capture capture;
    while (capture.captures < count) {
        const QList<QByteArray> words = probe.readLine(timeoutMs).split(' ');
        if (words.size() != 4 || words[0] != "captured")
            fail(QStringLiteral("capture %1 was not reported in time").arg(count));
        capture = {words[1].toLongLong(), words[2].toLongLong(), words[3].toLongLong()};
    }
    return capture;
}

void copyText(const QByteArray& text) {
    QProcess xclip;
    // xclip stays in the background serving the text; it must not hold our pipes.
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard"});
    xclip.write(text);
    xclip.closeWriteChannel();
    if (!xclip.waitForFinished(10000) || xclip.exitCode() != 0)
        fail(QStringLiteral("xclip failed"));
}

// What a 4K screenshot of a desktop looks like to the compressors: a gradient wallpaper under
// windows of anti-aliased text, different from picture to picture.
QImage desktopScreenshot(int index) {
    QImage image(3840, 2160, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient wallpaper(0, 0, image.width(), image.height());
    wallpaper.setColorAt(0, QColor::fromHsv(index * 37 % 360, 160, 120));
    wallpaper.setColorAt(1, QColor::fromHsv((index * 37 + 90) % 360, 120, 60));
    painter.fillRect(image.rect(), wallpaper);
    QRandomGenerator random(quint32(index) + 1);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    painter.setFont(font);
    for (int window = 0; window < 5; ++window) {
        const QRect frame(random.bounded(2400), random.bounded(1200), 1200 + random.bounded(600),
                          700 + random.bounded(300));
        painter.fillRect(frame, Qt::white);
        painter.fillRect(QRect(frame.topLeft(), QSize(frame.width(), 40)), QColor(220, 220, 225));
        painter.setPen(Qt::black);
        for (int y = frame.top() + 70; y < frame.bottom() - 10; y += 30)
            painter.drawText(frame.left() + 12, y,
                             QStringLiteral("Line %1 of window %2: the quick brown fox jumps over "
                                            "the lazy dog, %3")
                                 .arg(y)
                                 .arg(window)
                                 .arg(random.generate()));
    }
    return image;
}

// The worst case: colour gradients that differ from picture to picture, under noise in the low
// bits of every channel, which neither PNG nor TIFF can shrink much.
QImage noisyScreenshot(int index) {
    QImage image(3840, 2160, QImage::Format_RGB32);
    QRandomGenerator random(quint32(index) + 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const quint32 red = quint32(x * 255 / image.width() + index * 13) & 0xff;
            const quint32 green = quint32(y * 255 / image.height() + index * 29) & 0xff;
            const quint32 blue = quint32((x + y) * 255 / 6000 + index * 7) & 0xff;
            line[x] =
                (0xff000000u | red << 16 | green << 8 | blue) ^ (random.generate() & 0x1f1f1f);
        }
    }
    return image;
}

double mib(qint64 bytes) {
    return double(bytes) / (1024.0 * 1024.0);
}

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

// The targets are in decimal megabytes; /proc counts KiB.
bool underMB(double valueMiB, double targetMB) {
    return valueMiB * 1.048576 < targetMB;
}

const QString kProbe = QStringLiteral(PROBE_PROGRAM);
// Between rounds, and between the paste window coming up and Return: a person takes longer.
constexpr unsigned kSettleMs = 300;
constexpr unsigned kLookMs = 200;
// After a screenshot is captured, time for the table to paint its thumbnail.
constexpr unsigned kPaintMs = 300;

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// When the history's file in the folder first holds the bytes. Saves replace the file, so it is
// read again only when another one has taken its place.
Clock::time_point waitForStored(const QString& folder, const QByteArray& bytes) {
    const QByteArray path =
        QFile::encodeName(folder + u'/' + PasteWindow::kHistoryName + PasteWindow::kSetFileSuffix);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    std::optional<std::tuple<ino_t, time_t, long>> looked;
    while (Clock::now() < deadline) {
        struct stat file {};
        if (stat(path.constData(), &file) == 0 &&
            looked != std::tuple(file.st_ino, file.st_mtim.tv_sec, file.st_mtim.tv_nsec)) {
            const Clock::time_point seen = Clock::now();
            looked = {file.st_ino, file.st_mtim.tv_sec, file.st_mtim.tv_nsec};
            QFile stored(QFile::decodeName(path));
            if (stored.open(QIODevice::ReadOnly) && stored.readAll().contains(bytes))
                return seen;
        }
        QThread::msleep(10);
    }
    fail(QStringLiteral("the capture never reached ") + folder);
}

// Debian's parcellite, with a home of its own so that it starts from its default settings. It
// keeps its history in a file it rewrites on every capture: how the driver knows it captured.
struct Parcellite {
    std::unique_ptr<Program> program;
    QString historyFile;
};

std::optional<Parcellite> startParcellite(const QString& home) {
    const QString path = QStandardPaths::findExecutable(QStringLiteral("parcellite"));
    if (path.isEmpty())
        return std::nullopt;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    QDir().mkpath(home);
    return Parcellite{std::make_unique<Program>(path, QStringList(), false, environment, true),
                      home + QStringLiteral("/.local/share/parcellite/history")};
}

// Copies far enough apart that each is saved on its own before the next, as when a person
// copies now and then: the paced copies above share one save among many. Only the hidden probes
// are watched; the others see the copies too and are left to them.
void spacedCopies(Program& off, Program& on, const QString& savedFolder,
                  std::array<double, 2> idleMsPerSecond, qint64 capturesSoFar) {
    constexpr int kCopies = 8;
    constexpr auto kSpacing = std::chrono::seconds(4);
    std::array<double, 2> cpu = {-cpuMs(off.pid()), -cpuMs(on.pid())};
    const Clock::time_point start = Clock::now();
    for (int i = 1; i <= kCopies; ++i) {
        const QByteArray text = "spaced copy " + QByteArray::number(i) + ": " +
                                QByteArray::number(QRandomGenerator::global()->generate());
        copyText(text);
        waitForCapture(off, capturesSoFar + i, 10000);
        waitForCapture(on, capturesSoFar + i, 10000);
        waitForStored(savedFolder, text);
        std::this_thread::sleep_until(start + i * kSpacing);
    }
    const double wall = msBetween(start, Clock::now()) / 1000;
    cpu[0] += cpuMs(off.pid());
    cpu[1] += cpuMs(on.pid());
    const double offPer = (cpu[0] - idleMsPerSecond[0] * wall) / kCopies;
    const double onPer = (cpu[1] - idleMsPerSecond[1] * wall) / kCopies;
    // Reported without a target: the target is for captures as the paced copies make them.
    std::printf("  %d copies %lld s apart, each saved before the next: CPU per capture hidden "
                "%.3f ms, with autosave %.3f ms (ratio %.2f, no target)\n",
                kCopies, qint64(kSpacing.count()), offPer, onPer, onPer / offPer);
}

// Idle, then text copies, over the same processes side by side: the yardstick, the application,
// the probe with its window shown and hidden, and parcellite when it is there. Each copy is made
// once and seen by all of them.
double measureSideBySide(const Options& options, const QString& scratch) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch + QStringLiteral("/config"));
    struct Watched {
        const char* name;
        std::unique_ptr<Program> program;
        double idleCpu = 0;
        double textCpu = 0;
        double rssAtMark = 0;
        qint64 captured = -1; // -1: not known
    };
    std::vector<Watched> watched;
    watched.push_back({"floor_app (QWidget + 0.2 s timer)",
                       std::make_unique<Program>(QStringLiteral(FLOOR_PROGRAM), QStringList())});
    watched.push_back({"kelvrin (the application)",
                       std::make_unique<Program>(QStringLiteral(KELVRIN_PROGRAM), QStringList(),
                                                 false, environment)});
    watched.push_back(
        {"kelvrin_probe, window shown", std::make_unique<Program>(kProbe, QStringList())});
    // The hidden probes differ only in saving as they go, into a data folder of their own.
    const QString keptFolder = scratch + QStringLiteral("/kept");
    const QString savedFolder = scratch + QStringLiteral("/saved");
    // Folders as a first run leaves them, so neither launch stops at the alert of a bare folder.
    for (const QString& folder : {keptFolder, savedFolder}) {
        QDir().mkpath(folder);
        SetFolder::writeSet(folder, PasteWindow::kHistoryName, {});
        SetFolder::writeList(folder, {PasteWindow::kHistoryName});
    }
    watched.push_back(
        {"kelvrin_probe, window hidden",
         std::make_unique<Program>(
             kProbe, QStringList{"--hidden", "--data-folder", keptFolder, "--no-autosave"})});
    watched.push_back(
        {"kelvrin_probe, hidden, autosave on",
         std::make_unique<Program>(kProbe, QStringList{"--hidden", "--data-folder", savedFolder})});
    enum { Floor, Application, Shown, Hidden, Autosave, OtherManager };
    std::optional<Parcellite> parcellite = startParcellite(scratch + QStringLiteral("/parcellite"));
    if (parcellite)
        watched.push_back(
            {"parcellite (Debian, default settings)", std::move(parcellite->program)});
    else
        std::printf("parcellite is not installed (make bench installs it): compared with the "
                    "floor alone\n\n");

    // Start-up work (fonts, first paint) is not idling.
    QThread::sleep(3);
    for (Watched& one : watched)
        one.idleCpu = -cpuMs(one.program->pid());
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(unsigned(options.idleSeconds));
    const double idleSeconds = double(clock.nsecsElapsed()) / 1e9;
    for (Watched& one : watched)
        one.idleCpu += cpuMs(one.program->pid());

    std::printf("Idle CPU over %.1f s, side by side           total ms   ms per minute   RSS MiB\n",
                idleSeconds);
    for (const Watched& one : watched)
        std::printf("  %-40s %8.2f %14.2f %9.1f\n", one.name, one.idleCpu,
                    one.idleCpu * 60.0 / idleSeconds, statusMiB(one.program->pid(), "VmRSS"));
    const bool idleMet = watched[Application].idleCpu <= watched[Floor].idleCpu;
    std::printf("  target: kelvrin idle <= floor_app: %s (%.2f against %.2f ms per minute)\n\n",
                verdict(idleMet), watched[Application].idleCpu * 60.0 / idleSeconds,
                watched[Floor].idleCpu * 60.0 / idleSeconds);
    target(QStringLiteral("idle CPU of kelvrin no more than floor_app"), idleMet);
    const double floorRss = statusMiB(watched[Floor].program->pid(), "VmRSS");
    if (options.texts == 0)
        return floorRss;

    // Distinct texts, so that every copy is a capture; paced, and each one waited for in both
    // probes before the next slot.
    QStringList pending;
    qint64 parcelliteCaptured = 0;
    const auto lookAtParcellite = [&] {
        if (!parcellite)
            return;
        QFile file(parcellite->historyFile);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QByteArray history = file.readAll();
        // Its history keeps 25 entries: a text is still there for as many copies after it.
        pending.erase(std::remove_if(pending.begin(), pending.end(),
                                     [&](const QString& text) {
                                         const bool found = history.contains(text.toUtf8());
                                         parcelliteCaptured += found;
                                         return found;
                                     }),
                      pending.end());
        while (pending.size() > 20)
            pending.removeFirst();
    };
    const qint64 slotNs = 1'000'000'000LL / options.textsPerSecond;
    for (Watched& one : watched)
        one.textCpu = -cpuMs(one.program->pid());
    clock.restart();
    QString text;
    Clock::time_point lastCopy;
    for (int i = 1; i <= options.texts; ++i) {
        text = QStringLiteral("benchmark text %1: %2")
                   .arg(i)
                   .arg(QRandomGenerator::global()->generate());
        lastCopy = Clock::now();
        copyText(text.toUtf8());
        pending << text;
        for (const auto probe : {Shown, Hidden, Autosave})
            waitForCapture(*watched[probe].program, i, 10000);
        if (i == options.textMemoryAt)
            for (Watched& one : watched)
                one.rssAtMark = statusMiB(one.program->pid(), "VmRSS");
        const qint64 left = i * slotNs - clock.nsecsElapsed();
        if (left > 0)
            QThread::usleep(static_cast<unsigned long>(left / 1000));
        lookAtParcellite();
    }
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    for (Watched& one : watched)
        one.textCpu += cpuMs(one.program->pid());
    if (parcellite) {
        // A last look for the latest copies, once its poll has had time to come round.
        QThread::msleep(1000);
        lookAtParcellite();
    }
    const double onDiskMs = msBetween(lastCopy, waitForStored(savedFolder, text.toUtf8()));
    watched[Shown].captured = watched[Hidden].captured = watched[Autosave].captured = options.texts;
    if (parcellite)
        watched[OtherManager].captured = parcelliteCaptured;

    std::printf("Text copies: %d at up to %d a second in %.1f s, the same copies for every "
                "program\n",
                options.texts, options.textsPerSecond, wall);
    std::printf("  %-40s %9s %9s %9s %10s %9s\n", "", "CPU ms", "idle ms", "per copy", "captured",
                "RSS MiB");
    std::vector<double> perCapture(watched.size(), 0);
    for (size_t i = 0; i < watched.size(); ++i) {
        Watched& one = watched[i];
        const double idleShare = one.idleCpu / idleSeconds * wall;
        const double above = one.textCpu - idleShare;
        perCapture[i] = one.captured > 0 ? above / double(one.captured) : 0;
        std::printf("  %-40s %9.1f %9.1f %9.3f %10s %9.1f\n", one.name, one.textCpu, idleShare,
                    above / options.texts,
                    one.captured < 0 ? "-" : QByteArray::number(one.captured).constData(),
                    one.rssAtMark);
    }
    std::printf("  (per copy: CPU over the copies minus the program's idle rate times the same "
                "time; RSS after %d copies)\n",
                options.textMemoryAt);
    const double hidden = perCapture[Hidden];
    const double shown = perCapture[Shown];
    std::printf("  CPU per capture: kelvrin_probe hidden %.3f ms, shown %.3f ms", hidden, shown);
    if (parcellite && parcelliteCaptured > 0)
        std::printf(", parcellite %.3f ms (over its %lld captures)", perCapture[OtherManager],
                    parcelliteCaptured);
    std::printf("\n");
    // The lightest peer sets the mark when it runs; the figure it had on this machine otherwise.
    const bool peerMeasured = parcellite && perCapture[OtherManager] > 0;
    const double mark = peerMeasured ? perCapture[OtherManager] : 0.3;
    const QString markName = peerMeasured
                                 ? QStringLiteral("parcellite's %1 ms").arg(mark, 0, 'f', 3)
                                 : QStringLiteral("0.3 ms, parcellite not run");
    if (peerMeasured)
        std::printf("  ratio Kelvrin hidden / parcellite: %.2f\n", hidden / mark);
    else if (parcellite)
        std::printf("  parcellite captured none of the copies: no ratio\n");
    std::printf("  ratio Kelvrin shown / hidden: %.2f (target <= 1.5: %s)\n", shown / hidden,
                verdict(shown <= 1.5 * hidden));
    const double saving = perCapture[Autosave];
    std::printf("  ratio Kelvrin hidden, autosave on / off: %.2f (target <= 1.1: %s)\n",
                saving / hidden, verdict(saving <= 1.1 * hidden));
    target(QStringLiteral("CPU per text capture with autosave within 10 % of without"),
           saving <= 1.1 * hidden);
    std::printf("  last copy in the saved history file after %.0f ms (target < 10 s: %s)\n",
                onDiskMs, verdict(onDiskMs < 10000));
    target(QStringLiteral("a text capture on disk within 10 s"), onDiskMs < 10000);
    spacedCopies(*watched[Hidden].program, *watched[Autosave].program, savedFolder,
                 {watched[Hidden].idleCpu / idleSeconds, watched[Autosave].idleCpu / idleSeconds},
                 options.texts);
    target(QStringLiteral("capture with the window shown within 1.5x of hidden"),
           shown <= 1.5 * hidden);
    std::printf("  CPU per capture, window hidden: %.3f ms (target <= %s: %s)\n", hidden,
                qPrintable(markName), verdict(hidden <= mark));
    target(QStringLiteral("CPU per text capture, window hidden <= %1").arg(markName),
           hidden <= mark);
    // The targets are in decimal megabytes; /proc counts KiB.
    const double limit = floorRss * 1.048576 + 8;
    const double worst = std::max(watched[Shown].rssAtMark, watched[Hidden].rssAtMark);
    std::printf("  RSS after %d captures: shown %.1f MiB, hidden %.1f MiB; floor_app %.1f MiB "
                "(target floor + 8 MB = %.1f MB: %s)\n\n",
                options.textMemoryAt, watched[Shown].rssAtMark, watched[Hidden].rssAtMark, floorRss,
                limit, verdict(underMB(worst, limit)));
    target(
        QStringLiteral("RSS after %1 text captures < floor_app + 8 MB").arg(options.textMemoryAt),
        underMB(worst, limit));
    return floorRss;
}

// Asks a probe started with --watch-loop for the longest event-loop gap since it was last asked.
double longestStall(Program& probe) {
    probe.write("loop");
    const QList<QByteArray> words = probe.readLine(60000).split(' ');
    if (words.size() != 2 || words[0] != "loop")
        fail(QStringLiteral("the probe did not say how its loop went"));
    return words[1].toDouble();
}

// A data folder whose history holds desktop screenshots as Kelvrin stores them, and its size.
qint64 makeScreenshotFolder(const QString& folder, int count) {
    QDir().mkpath(folder);
    PasteDataList history;
    qint64 bytes = 0;
    for (int i = 1; i <= count; ++i) {
        // BMP only carries the pixels over: the stored TIFF is Kelvrin's own conversion.
        QByteArray bitmap;
        QBuffer buffer(&bitmap);
        buffer.open(QIODevice::WriteOnly);
        desktopScreenshot(i).save(&buffer, "bmp");
        const std::optional<QByteArray> tiff = Picture::tiffFromImageData(bitmap);
        if (!tiff)
            fail(QStringLiteral("cannot convert a screenshot to TIFF"));
        auto clipping = std::make_unique<PasteData>();
        clipping->setExtraData(*tiff, ExtraType::TIFF);
        clipping->setNumber(count - i + 1);
        history.push_back(std::move(clipping));
        bytes += tiff->size();
    }
    SetFolder::writeSet(folder, PasteWindow::kHistoryName, history);
    SetFolder::writeList(folder, {PasteWindow::kHistoryName});
    return bytes;
}

// A text copied over a history of screenshots starts a save of the whole history, which runs on
// a worker while the window stays shown and its loop is watched. A big file is saved at most once
// a minute, so each round starts a fresh Kelvrin on the folder the previous one left.
void measureAutosave(int screenshots, const QString& scratch) {
    constexpr int kRounds = 3;
    const QString folder = scratch + QStringLiteral("/screenshots");
    const qint64 stored = makeScreenshotFolder(folder, screenshots);
    std::vector<double> launches, onDisk, stalls;
    for (int round = 0; round < kRounds; ++round) {
        Program probe(kProbe, QStringList{"--watch-loop", "--data-folder", folder});
        // By then the worker has drawn the thumbnails in view (about 2 s), and the save that
        // follows does not share the cores with it.
        QThread::sleep(4);
        launches.push_back(longestStall(probe));
        const QByteArray text =
            "autosave benchmark " + QByteArray::number(QRandomGenerator::global()->generate());
        const Clock::time_point copied = Clock::now();
        copyText(text);
        waitForCapture(probe, 1, 10000);
        onDisk.push_back(msBetween(copied, waitForStored(folder, text)));
        stalls.push_back(longestStall(probe));
    }
    const double fileMiB = mib(
        QFileInfo(folder + u'/' + PasteWindow::kHistoryName + PasteWindow::kSetFileSuffix).size());
    std::printf("Autosave of a history of %d desktop screenshots (%.1f MiB of TIFF, a %.1f MiB "
                "file), paste window shown, %d rounds\n",
                screenshots, mib(stored), fileMiB, kRounds);
    const Spread launch = spread(launches);
    std::printf("  longest event-loop gap in the first 4 s after launch: median %.1f ms, max "
                "%.1f ms (no target)\n",
                launch.median, launch.max);
    const Spread disk = spread(onDisk);
    std::printf("  a text copied is in the file after: median %.0f ms, max %.0f ms (target < 10 s: "
                "%s)\n",
                disk.median, disk.max, verdict(disk.max < 10000));
    target(QStringLiteral("a capture over %1 screenshots on disk within 10 s").arg(screenshots),
           disk.max < 10000);
    const Spread stall = spread(stalls);
    std::printf("  longest event-loop gap from the copy until the file was replaced: median %.1f "
                "ms, max %.1f ms (target < 50 ms: %s)\n\n",
                stall.median, stall.max, verdict(stall.max < 50));
    target(QStringLiteral("event-loop gap during an autosave of %1 screenshots < 50 ms")
               .arg(screenshots),
           stall.max < 50);
}

struct ScreenshotKind {
    const char* name;
    QImage (*make)(int index);
    int count;
    // The CPU target is for screenshots as they are; the worst case is only reported.
    bool cpuTarget;
};

// Screenshots offered as PNG alone, as screenshot tools do, captured into a fresh Kelvrin.
void measureScreenshots(const ScreenshotKind& kind, const QString& folder, double floorRss) {
    Program probe(kProbe, QStringList{"--watch-loop"});
    QThread::sleep(1);
    // The longest stall of the event loop over each capture, from the offer until the thumbnail
    // has been painted; the first question only starts the count.
    longestStall(probe);
    std::vector<double> stalls;
    const double startRss = statusMiB(probe.pid(), "VmRSS");
    const double startCpu = cpuTicksMs(probe.pid());
    std::unique_ptr<Program> owner;
    Capture last;
    qint64 pngBytes = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= kind.count; ++i) {
        const QString path = folder + QStringLiteral("/shot.png");
        QImageWriter writer(path, "png");
        // Compressed as screenshot tools do; noise would only take the driver longer to deflate.
        if (!kind.cpuTarget)
            writer.setCompression(1);
        if (!writer.write(kind.make(i)))
            fail(QStringLiteral("cannot write ") + path);
        pngBytes += QFile(path).size();
        // The previous owner leaves by itself when this one takes the clipboard.
        owner = std::make_unique<Program>(
            QStringLiteral(CLIP_OWNER_PROGRAM),
            QStringList{"--timeout", "600", "--chunk", "4194304", "image/png=@" + path});
        last = waitForCapture(probe, i, 60000);
        QThread::msleep(kPaintMs);
        stalls.push_back(longestStall(probe));
    }
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = cpuTicksMs(probe.pid()) - startCpu;
    // With the probe's 10 ms timer in it: a hundred wake-ups a second of some microseconds each,
    // little beside a capture.
    // Let the table finish painting the thumbnails before looking at the memory.
    QThread::sleep(2);
    const double rss = statusMiB(probe.pid(), "VmRSS");
    const double peak = statusMiB(probe.pid(), "VmHWM");
    const double stored = mib(last.payloadBytes);
    std::printf("Screenshots (%s), paste window shown: %d distinct 3840x2160 PNG (%.1f MiB of "
                "PNG) in %.1f s\n",
                kind.name, kind.count, mib(pngBytes), wall);
    const double perShot = cpu / kind.count;
    if (kind.cpuTarget) {
        std::printf("  CPU per screenshot capture: %.0f ms (target < 300 ms: %s)\n", perShot,
                    verdict(perShot < 300));
        target(QStringLiteral("CPU per 4K screenshot < 300 ms"), perShot < 300);
    } else {
        std::printf("  CPU per screenshot capture: %.0f ms (worst case, no target)\n", perShot);
    }
    const Spread stall = spread(stalls);
    std::printf("  longest event-loop stall per capture (10 ms timer): median %.1f ms, max %.1f "
                "ms, min %.1f ms (target < 50 ms: median %s, max %s)\n",
                stall.median, stall.max, stall.min, verdict(stall.median < 50),
                verdict(stall.max < 50));
    const QString name = QString::fromLatin1(kind.name);
    target(
        QStringLiteral("event-loop stall during a 4K screenshot (%1) < 50 ms (median)").arg(name),
        stall.median < 50);
    target(QStringLiteral("event-loop stall during a 4K screenshot (%1) < 50 ms (max)").arg(name),
           stall.max < 50);
    std::printf("  history: %lld clippings, %.1f MiB of TIFF\n", last.clippings, stored);
    std::printf("  RSS %.1f MiB before, %.1f MiB after, peak %.1f MiB; floor_app %.1f MiB\n",
                startRss, rss, peak, floorRss);
    std::printf("  RSS above the stored TIFF bytes: %.1f MiB (target < 60 MB: %s)\n\n",
                rss - stored, verdict(underMB(rss - stored, 60)));
    target(QStringLiteral("RSS after the screenshots (%1) < stored TIFF + 60 MB").arg(name),
           underMB(rss - stored, 60));
}

// The driver's own connection to the display: it presses keys through XTest, as the keyboard
// would, and follows which window the window manager calls active.
class Desktop {
public:
    Desktop() : _display(XOpenDisplay(nullptr)) {
        if (!_display)
            fail(QStringLiteral("cannot open the display"));
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(_display, &event, &error, &major, &minor))
            fail(QStringLiteral("the display has no XTest"));
        // A window that is gone while its properties are read must not end the benchmark.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        _root = DefaultRootWindow(_display);
        _activeWindow = XInternAtom(_display, "_NET_ACTIVE_WINDOW", False);
        _pid = XInternAtom(_display, "_NET_WM_PID", False);
        XSelectInput(_display, _root, PropertyChangeMask);
        XSync(_display, False);
    }
    ~Desktop() { XCloseDisplay(_display); }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    Window active() const { return Window(property(_root, _activeWindow, XA_WINDOW)); }
    qint64 pidOf(Window window) const { return qint64(property(window, _pid, XA_CARDINAL)); }

    // The keys go out together when sent; the server handles them in this order.
    void key(KeySym keysym, bool press) {
        XTestFakeKeyEvent(_display, XKeysymToKeycode(_display, keysym), press, CurrentTime);
    }
    void send() { XFlush(_display); }

    // Forgets the notices so far, so that a wait sees only what comes after.
    void discardNotices() { XSync(_display, True); }

    // Waits until the window manager names an active window that passes the test: the moment it
    // was seen (or the call, when it already was), nothing when the time ran out.
    std::optional<Clock::time_point> waitForActive(const std::function<bool(Window)>& test,
                                                   int timeoutMs) {
        if (test(active()))
            return Clock::now();
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (XPending(_display)) {
                XEvent event;
                XNextEvent(_display, &event);
                // Stamped before the property is read back: that round trip is ours, not the
                // manager's.
                const Clock::time_point seen = Clock::now();
                if (event.type == PropertyNotify && event.xproperty.atom == _activeWindow &&
                    test(active()))
                    return seen;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd descriptor{ConnectionNumber(_display), POLLIN, 0};
            poll(&descriptor, 1, int(left.count()) + 1);
        }
    }

private:
    // The first item of a 32-bit property; 0 when there is none.
    unsigned long property(Window window, Atom name, Atom type) const {
        Atom actualType = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        unsigned long value = 0;
        if (XGetWindowProperty(_display, window, name, 0, 1, False, type, &actualType, &format,
                               &items, &after, &data) == Success &&
            data && items == 1 && format == 32)
            value = *reinterpret_cast<unsigned long*>(data);
        if (data)
            XFree(data);
        return value;
    }

    Display* _display;
    Window _root = 0;
    Atom _activeWindow = 0;
    Atom _pid = 0;
};

// A user's wait, round after round: the hot key pressed over another program until the paste
// window is up and active, then Return until the chosen text is in that program. Kelvrin hides
// the window after a paste and the target comes back to the front, so the rounds follow on.
void measureHotKeys(const Options& options) {
    Program probe(kProbe, {"--hidden", "--report-active"});
    bool probeActive = false;
    Clock::time_point probeActiveAt;
    // Every line the probe says, in order; its state lines keep us up to date.
    const auto readProbe = [&](int timeoutMs) {
        const QByteArray line = probe.readLine(timeoutMs);
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 2 && (words[0] == "active" || words[0] == "inactive")) {
            probeActive = words[0] == "active";
            // steady_clock is CLOCK_MONOTONIC, the probe's clock.
            probeActiveAt = Clock::time_point(std::chrono::nanoseconds(words[1].toLongLong()));
        }
        return line;
    };

    // A short history to choose from; the paste writes the clipboard itself, which is no capture.
    QStringList texts;
    for (int i = 1; i <= 3; ++i) {
        texts << QStringLiteral("hot key text %1").arg(i);
        copyText(texts.back().toUtf8());
        for (QByteArray line; !line.startsWith("captured ");)
            if ((line = readProbe(10000)).isEmpty())
                fail(QStringLiteral("capture %1 was not reported in time").arg(i));
    }

    Program target(QStringLiteral(PASTE_TARGET_PROGRAM),
                   {"--title", "Notes", "--geometry", "520,420,300,80"}, false);
    const QList<QByteArray> ready = target.readLine(15000).split(' ');
    if (ready.size() != 2 || ready[0] != "ready")
        fail(QStringLiteral("paste_target did not start"));
    const auto targetWindow = Window(ready[1].toULong());

    Desktop desktop;
    const auto isTarget = [&](Window window) { return window == targetWindow; };
    const auto isProbe = [&](Window window) {
        return window != 0 && desktop.pidOf(window) == probe.pid();
    };
    std::vector<double> managerActive, kelvrinActive, pasted;
    for (int round = 1; round <= options.hotKeys; ++round) {
        // Quiet before each press: the target in front, Kelvrin told it is in the background,
        // then a pause, as between one paste and the next.
        if (!desktop.waitForActive(isTarget, 5000))
            fail(QStringLiteral("round %1: the target is not in front").arg(round));
        while (probeActive)
            if (readProbe(5000).isEmpty())
                fail(QStringLiteral("round %1: Kelvrin stays active").arg(round));
        QThread::msleep(kSettleMs);
        while (!readProbe(20).isEmpty()) {
        }
        if (probeActive || !isTarget(desktop.active()))
            fail(QStringLiteral("round %1: the desktop did not settle").arg(round));
        desktop.discardNotices();

        // The hot key is pressed when its key goes down with Control already held.
        desktop.key(XK_Control_L, true);
        desktop.send();
        const Clock::time_point hotKey = Clock::now();
        desktop.key(XK_Down, true);
        desktop.key(XK_Down, false);
        desktop.key(XK_Control_L, false);
        desktop.send();
        const std::optional<Clock::time_point> shown = desktop.waitForActive(isProbe, 5000);
        if (!shown)
            fail(QStringLiteral("round %1: the paste window did not become active").arg(round));
        while (!probeActive)
            if (readProbe(5000).isEmpty())
                fail(QStringLiteral("round %1: Kelvrin did not hear it is active").arg(round));
        managerActive.push_back(msBetween(hotKey, *shown));
        kelvrinActive.push_back(msBetween(hotKey, probeActiveAt));

        // A person reads the list, picks the first row, then takes it.
        QThread::msleep(kLookMs);
        desktop.key(XK_Down, true);
        desktop.key(XK_Down, false);
        desktop.send();
        QThread::msleep(kLookMs);
        const Clock::time_point enter = Clock::now();
        desktop.key(XK_Return, true);
        desktop.key(XK_Return, false);
        desktop.send();
        const QList<QByteArray> paste = target.readLine(5000).split(' ');
        const Clock::time_point arrived = Clock::now();
        if (paste.size() != 3 || paste[0] != "paste" ||
            !texts.contains(QString::fromUtf8(QByteArray::fromBase64(paste[2]))))
            fail(QStringLiteral("round %1: the target got no paste of ours").arg(round));
        pasted.push_back(msBetween(enter, arrived));
    }

    std::printf("Hot key and paste over paste_target, %d rounds     median     min     p10     "
                "p90     max  (ms)\n",
                options.hotKeys);
    printSpread("hot key -> paste window active (WM)", managerActive, 50);
    printSpread("hot key -> Kelvrin active (Qt)", kelvrinActive, 50);
    printSpread("Return -> text in the target", pasted, 150);
    std::printf("\n");
}

int run(const Options& options) {
    QTemporaryDir scratch;
    // Qt wants a private runtime folder and says so on every start when there is none.
    const QString runtime = scratch.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    std::printf("Kelvrin benchmark on %s, %d cores; idle window %d s, %d texts at %d a second, "
                "%d screenshots, %d hot-key rounds, autosave over %d screenshots\n\n",
                qgetenv("DISPLAY").constData(), QThread::idealThreadCount(), options.idleSeconds,
                options.texts, options.textsPerSecond, options.screenshots, options.hotKeys,
                options.autosaveScreenshots);

    const double floorRss = measureSideBySide(options, scratch.path());
    if (options.hotKeys > 0)
        measureHotKeys(options);
    if (options.screenshots > 0) {
        measureScreenshots({"desktop", desktopScreenshot, options.screenshots, true},
                           scratch.path(), floorRss);
        // A quarter as many: each costs several times a desktop's.
        measureScreenshots({"noise", noisyScreenshot, std::max(1, options.screenshots / 4), false},
                           scratch.path(), floorRss);
    }
    if (options.autosaveScreenshots > 0)
        measureAutosave(options.autosaveScreenshots, scratch.path());
    printTargets();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    // The figures are read as they come, also when written to a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        // The display first: every program started afterwards finds it in DISPLAY.
        XServer server;
        qunsetenv("QT_QPA_PLATFORM");
        qunsetenv("WAYLAND_DISPLAY");
        // Offscreen for the driver alone: it draws the screenshots with fonts but shows nothing.
        int qtArgc = 3;
        char* qtArgv[] = {argv[0], const_cast<char*>("-platform"), const_cast<char*>("offscreen"),
                          nullptr};
        QGuiApplication app(qtArgc, qtArgv);
        return run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kelvrin_bench: %s\n", error.what());
        return 1;
    }
}
