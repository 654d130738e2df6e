// What Kelvrin costs, measured on a private X display in one run so the figures compare:
// idle CPU against a bare Qt program, CPU per text capture, and memory after text and after
// screenshot captures. bench/README.md explains the method and keeps the figures.
//
//   kelvrin_bench [--idle-seconds N] [--texts N] [--screenshots N]
//
// This program only drives and watches: Kelvrin, the yardstick and the clipboard owners run as
// processes of their own, and their CPU and memory are read from /proc.
#include "tests/e2e/XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace {

struct Options {
    int idleSeconds = 20;
    int texts = 200;
    int textMemoryAt = 100;
    int screenshots = 100;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        int* target = arg == "--idle-seconds"  ? &options.idleSeconds
                      : arg == "--texts"       ? &options.texts
                      : arg == "--screenshots" ? &options.screenshots
                                               : nullptr;
        if (!target || i + 1 == argc || QByteArray(argv[i + 1]).toInt() < 0) {
            std::fprintf(stderr, "usage: kelvrin_bench [--idle-seconds N] [--texts N] "
                                 "[--screenshots N]\n");
            std::exit(1);
        }
        *target = QByteArray(argv[++i]).toInt();
    }
    options.textMemoryAt = std::min(options.textMemoryAt, options.texts);
    return options;
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

// CPU time of a process's live threads, from the scheduler's own accounts: nanoseconds, where
// /proc/<pid>/stat counts 10 ms ticks.
double cpuMs(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    qint64 nanoseconds = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (file.open(QIODevice::ReadOnly))
            nanoseconds += file.readLine().split(' ').value(0).toLongLong();
    }
    return double(nanoseconds) / 1e6;
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
    Program(const QString& path, const QStringList& arguments, bool announces = true,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        _process.setProcessEnvironment(environment);
        _process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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

// A 4K "screenshot" that neither PNG nor TIFF can shrink to nothing: colour gradients that
// differ from picture to picture, under noise in the low bits of every channel.
QImage screenshot(int index) {
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

struct IdleFigures {
    double floorRss = 0;
    double shownRate = 0;
    double hiddenRate = 0;
};

// The application, the probe in both window states and the yardstick, side by side over the
// same window of time.
IdleFigures measureIdle(const Options& options, const QString& configHome) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    struct Watched {
        const char* name;
        std::unique_ptr<Program> program;
        double cpu = 0;
    } watched[] = {
        {"floor_app (QWidget + 0.2 s timer)",
         std::make_unique<Program>(QStringLiteral(FLOOR_PROGRAM), QStringList())},
        {"kelvrin (the application)", std::make_unique<Program>(QStringLiteral(KELVRIN_PROGRAM),
                                                                QStringList(), false, environment)},
        {"kelvrin_probe, window shown", std::make_unique<Program>(kProbe, QStringList())},
        {"kelvrin_probe, window hidden",
         std::make_unique<Program>(kProbe, QStringList{"--hidden"})},
    };
    // Start-up work (fonts, first paint) is not idling.
    QThread::sleep(3);
    for (Watched& one : watched)
        one.cpu = -cpuMs(one.program->pid());
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(unsigned(options.idleSeconds));
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    for (Watched& one : watched)
        one.cpu += cpuMs(one.program->pid());

    std::printf("Idle CPU over %.1f s                 total ms   ms per minute   RSS MiB\n",
                seconds);
    for (const Watched& one : watched)
        std::printf("  %-34s %8.2f %14.2f %9.1f\n", one.name, one.cpu, one.cpu * 60.0 / seconds,
                    statusMiB(one.program->pid(), "VmRSS"));
    std::printf("  target: kelvrin idle <= floor_app: %s\n\n",
                verdict(watched[1].cpu <= watched[0].cpu));
    return {statusMiB(watched[0].program->pid(), "VmRSS"), watched[2].cpu / seconds,
            watched[3].cpu / seconds};
}

// Distinct texts copied with xclip, each waited for, so every one is a capture of its own.
void measureTexts(const Options& options, const QStringList& probeArguments, const char* state,
                  double idleRate, double floorRss) {
    Program probe(kProbe, probeArguments);
    QThread::sleep(1);
    double rssAtMark = 0;
    QElapsedTimer clock;
    clock.start();
    const double startCpu = cpuMs(probe.pid());
    for (int i = 1; i <= options.texts; ++i) {
        copyText(QStringLiteral("benchmark text %1: %2")
                     .arg(i)
                     .arg(QRandomGenerator::global()->generate())
                     .toUtf8());
        waitForCapture(probe, i, 10000);
        if (i == options.textMemoryAt)
            rssAtMark = statusMiB(probe.pid(), "VmRSS");
    }
    const double cpu = cpuMs(probe.pid()) - startCpu;
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    const double idleShare = idleRate * wall;
    const double perCapture = (cpu - idleShare) / options.texts;
    std::printf("Text captures, paste window %s: %d in %.1f s\n", state, options.texts, wall);
    std::printf("  probe CPU %.2f ms, its idle floor over the same %.1f s %.2f ms\n", cpu, wall,
                idleShare);
    std::printf("  CPU per capture above idle: %.3f ms (target < 0.3 ms: %s)\n", perCapture,
                verdict(perCapture < 0.3));
    std::printf("  RSS after %d text captures: %.1f MiB (target < 36 MB: %s; floor_app %.1f "
                "MiB)\n\n",
                options.textMemoryAt, rssAtMark, verdict(underMB(rssAtMark, 36)), floorRss);
}

// Screenshots offered as PNG alone, as screenshot tools do, captured into a fresh Kelvrin.
void measureScreenshots(const Options& options, const QString& folder, double floorRss) {
    Program probe(kProbe, QStringList());
    QThread::sleep(1);
    const double startRss = statusMiB(probe.pid(), "VmRSS");
    const double startCpu = cpuTicksMs(probe.pid());
    std::unique_ptr<Program> owner;
    Capture last;
    qint64 pngBytes = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= options.screenshots; ++i) {
        const QString path = folder + QStringLiteral("/shot.png");
        QImageWriter writer(path, "png");
        // Fast deflate: making the pictures is not what is measured.
        writer.setCompression(1);
        if (!writer.write(screenshot(i)))
            fail(QStringLiteral("cannot write ") + path);
        pngBytes += QFile(path).size();
        // The previous owner leaves by itself when this one takes the clipboard.
        owner = std::make_unique<Program>(
            QStringLiteral(CLIP_OWNER_PROGRAM),
            QStringList{"--timeout", "600", "--chunk", "4194304", "image/png=@" + path});
        last = waitForCapture(probe, i, 60000);
    }
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = cpuTicksMs(probe.pid()) - startCpu;
    // Let the table finish painting the thumbnails before looking at the memory.
    QThread::sleep(2);
    const double rss = statusMiB(probe.pid(), "VmRSS");
    const double peak = statusMiB(probe.pid(), "VmHWM");
    const double stored = mib(last.payloadBytes);
    std::printf("Screenshots, paste window shown: %d distinct 3840x2160 PNG (%.1f MiB of PNG) in "
                "%.1f s\n",
                options.screenshots, mib(pngBytes), wall);
    std::printf("  CPU per screenshot capture: %.0f ms\n", cpu / options.screenshots);
    std::printf("  history: %lld clippings, %.1f MiB of TIFF\n", last.clippings, stored);
    std::printf("  RSS %.1f MiB before, %.1f MiB after, peak %.1f MiB; floor_app %.1f MiB\n",
                startRss, rss, peak, floorRss);
    std::printf("  RSS above the stored TIFF bytes: %.1f MiB (target < 60 MB: %s)\n", rss - stored,
                verdict(underMB(rss - stored, 60)));
}

int run(const Options& options) {
    QTemporaryDir scratch;
    // Qt wants a private runtime folder and says so on every start when there is none.
    const QString runtime = scratch.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    std::printf("Kelvrin benchmark on %s, %d cores; idle window %d s, %d texts, %d screenshots\n\n",
                qgetenv("DISPLAY").constData(), QThread::idealThreadCount(), options.idleSeconds,
                options.texts, options.screenshots);

    const IdleFigures idle = measureIdle(options, scratch.filePath(QStringLiteral("config")));
    if (options.texts > 0) {
        measureTexts(options, {}, "shown", idle.shownRate, idle.floorRss);
        measureTexts(options, {"--hidden"}, "hidden", idle.hiddenRate, idle.floorRss);
    }
    if (options.screenshots > 0)
        measureScreenshots(options, scratch.path(), idle.floorRss);
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
        QCoreApplication app(argc, argv);
        return run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kelvrin_bench: %s\n", error.what());
        return 1;
    }
}
