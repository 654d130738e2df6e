// Two machines sharing one history through Syncthing, in one run: how long a copy on one takes to
// reach the other's history, split at the two files between (the save on the first machine, the
// same file brought to the second by Syncthing), and what watching the data folder costs
// Kelvrin while nothing changes, next to a Kelvrin that keeps its history in memory only.
// bench/README.md explains the method and keeps the figures.
//
//   sync_bench [--copies N] [--idle-seconds N]
//
// Each machine is a private X display with its own settings and data folder; two Syncthing
// instances on the loopback interface keep the folders in step (tests/e2e/SyncthingPair). This
// program only drives and watches: it copies with xclip on the first display, looks at the two
// history files, and asks the second Kelvrin with `kelvrin --list`.
#include "SetFolder.h"
#include "bench/Figures.h"
#include "bench/RunningKelvrin.h"
#include "bench/X11Desktop.h"
#include "platform/Defaults.h"
#include "tests/e2e/SyncthingPair.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

namespace {

struct Options {
    int copies = 50;
    int idleSeconds = 20;
};

constexpr char kUsage[] = "usage: sync_bench [--copies N] [--idle-seconds N]\n";

Options parse(int argc, char** argv) {
    Options options;
    readCounts(argc, argv,
               {{"--copies", &options.copies, 1}, {"--idle-seconds", &options.idleSeconds, 1}},
               kUsage);
    return options;
}

const QString kKelvrin = QStringLiteral(KELVRIN_PROGRAM);
// A copy that has not reached the other history by then is lost.
constexpr int kReachLimitMs = 60000;
// Start-up work (fonts, the first paint, the first save) is not idling.
constexpr unsigned kStartUpSeconds = 5;

// The data folder of the Kelvrin on that display; the history in it as a run left it when
// withHistory, else whatever Syncthing brings.
QString useDataFolder(const X11Desktop& desktop, bool withHistory) {
    const QString folder = desktop.configHome() + QStringLiteral("/data");
    QDir().mkpath(folder);
    if (withHistory) {
        SetFolder::writeSet(folder, PasteWindow::kHistoryName, {});
        SetFolder::writeList(folder, {PasteWindow::kHistoryName});
    }
    Defaults settings(desktop.configHome() + QStringLiteral("/Kelvrin/Kelvrin.ini"));
    settings.setObject(folder, QStringLiteral("initial_directory"));
    settings.synchronize();
    return folder;
}

// Which file a path names now: a file replaced by a rename is another.
std::optional<std::pair<quint64, qint64>> identity(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair{quint64(info.st_ino),
                     qint64(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec};
}

struct Legs {
    std::vector<double> saved, brought, merged, total;
    int lost = 0;
};

// One copy on A, followed to B's history.
void follow(const X11Desktop& a, const QString& historyA, const QString& historyB,
            const RunningKelvrin& kelvrinB, const QByteArray& text, Legs& legs) {
    const auto beforeA = identity(historyA), beforeB = identity(historyB);
    const Clock::time_point copied = Clock::now();
    a.copy(text);
    std::optional<Clock::time_point> saved, brought;
    while (msBetween(copied, Clock::now()) < kReachLimitMs) {
        if (!saved && identity(historyA) != beforeA)
            saved = Clock::now();
        if (!brought && identity(historyB) != beforeB)
            brought = Clock::now();
        // B's history can only have it from B's file.
        if (brought && newestListed(kelvrinB.list().listing.value_or(QByteArray())) == text) {
            const Clock::time_point merged = Clock::now();
            legs.saved.push_back(msBetween(copied, saved.value_or(*brought)));
            legs.brought.push_back(msBetween(saved.value_or(*brought), *brought));
            legs.merged.push_back(msBetween(*brought, merged));
            legs.total.push_back(msBetween(copied, merged));
            return;
        }
        QThread::msleep(10);
    }
    ++legs.lost;
}

void run(const Options& options) {
    QTemporaryDir syncthingHomes;
    const X11Desktop a, b, alone;
    const QString dataA = useDataFolder(a, true), dataB = useDataFolder(b, false);
    const SyncthingPair syncthing(dataA, dataB, syncthingHomes.path());
    const QString historyA = dataA + u'/' + PasteWindow::kHistoryName + PasteWindow::kSetFileSuffix,
                  historyB = dataB + u'/' + PasteWindow::kHistoryName + PasteWindow::kSetFileSuffix;
    if (!waitUntil([&] { return QFileInfo::exists(historyB); }, kReachLimitMs))
        throw std::runtime_error("the history did not reach the second machine");
    const RunningKelvrin kelvrinA(a, kKelvrin), kelvrinB(b, kKelvrin),
        kelvrinAlone(alone, kKelvrin);

    std::printf("Idle: CPU while nothing changes, over %d s\n", options.idleSeconds);
    std::printf("  %-52s %10s %14s\n", "", "CPU ms", "ms per minute");
    QThread::sleep(kStartUpSeconds);
    const struct {
        const char* name;
        const RunningKelvrin& kelvrin;
    } idlers[] = {{"kelvrin A, data folder shared and watched", kelvrinA},
                  {"kelvrin B, data folder shared and watched", kelvrinB},
                  {"kelvrin alone, history in memory (today's idle)", kelvrinAlone}};
    std::vector<double> idle;
    for (const auto& idler : idlers)
        idle.push_back(-cpuMs(idler.kelvrin.pid()));
    const Clock::time_point begin = Clock::now();
    QThread::sleep(unsigned(options.idleSeconds));
    const double minutes = msBetween(begin, Clock::now()) / 60000.0;
    for (size_t i = 0; i < idle.size(); ++i) {
        idle[i] += cpuMs(idlers[i].kelvrin.pid());
        std::printf("  %-52s %10.2f %14.2f\n", idlers[i].name, idle[i], idle[i] / minutes);
    }
    const bool quiet = std::max(idle[0], idle[1]) <= 2 * idle[2] + 1.0;
    std::printf("  target: watching costs no more than twice the history in memory: %s\n\n",
                verdict(quiet));
    target(QStringLiteral("idle CPU of a shared data folder's watch"), quiet);

    std::printf("A copy on A to B's history, %d copies one after another (ms)\n", options.copies);
    std::printf("  %-36s %7s %7s %7s %7s %7s\n", "", "median", "min", "p10", "p90", "max");
    Legs legs;
    for (int i = 1; i <= options.copies; ++i)
        follow(a, historyA, historyB, kelvrinB, QByteArray("sync bench ") + QByteArray::number(i),
               legs);
    printSpread("copy -> A's history file saved", legs.saved, 0);
    printSpread("saved -> B's file replaced", legs.brought, 0);
    printSpread("replaced -> in B's history", legs.merged, 1000);
    printSpread("copy -> in B's history", legs.total, 0);
    std::printf("  lost (not in B's history within %d s): %d\n", kReachLimitMs / 1000, legs.lost);
    target(QStringLiteral("no copy lost on the way"), legs.lost == 0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const Options options = parse(argc, argv);
    try {
        run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sync_bench: %s\n", error.what());
        return 1;
    }
    std::printf("\n");
    printTargets();
    return 0;
}
