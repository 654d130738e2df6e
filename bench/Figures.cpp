#include "bench/Figures.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Every target with its verdict, repeated at the end of the run.
std::vector<std::string> gTargets;

} // namespace

void readCounts(int argc, char** argv, std::initializer_list<Count> counts, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        const Count* count = std::find_if(counts.begin(), counts.end(), [&](const Count& one) {
            return QByteArray(argv[i]) == one.name;
        });
        bool number = false;
        const int value = i + 1 < argc ? QByteArray(argv[++i]).toInt(&number) : 0;
        if (count == counts.end() || !number || value < count->least) {
            std::fputs(usage, stderr);
            std::exit(1);
        }
        *count->value = value;
    }
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

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

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

void target(const QString& what, bool met) {
    gTargets.push_back(QStringLiteral("%1: %2").arg(what, verdict(met)).toStdString());
}

void printTargets() {
    std::printf("Targets\n");
    for (const std::string& line : gTargets)
        std::printf("  %s\n", line.c_str());
}

Spread spread(std::vector<double> samples) {
    std::ranges::sort(samples);
    const auto at = [&](double fraction) {
        const double rank = fraction * double(samples.size() - 1);
        const auto below = size_t(rank);
        const size_t above = std::min(below + 1, samples.size() - 1);
        return samples[below] + (rank - double(below)) * (samples[above] - samples[below]);
    };
    return {at(0.5), samples.front(), at(0.1), at(0.9), samples.back()};
}

void printSpread(const char* name, const std::vector<double>& samples, double targetMs) {
    const Spread figures = spread(samples);
    std::printf("  %-36s %7.1f %7.1f %7.1f %7.1f %7.1f", name, figures.median, figures.min,
                figures.p10, figures.p90, figures.max);
    if (targetMs > 0) {
        std::printf("   target < %.0f ms: %s", targetMs, verdict(figures.median < targetMs));
        target(QStringLiteral("%1 < %2 ms (median)").arg(QString::fromLatin1(name)).arg(targetMs),
               figures.median < targetMs);
    }
    std::printf("\n");
}
