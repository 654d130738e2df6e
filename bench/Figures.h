#pragma once

#include <QString>
#include <QtGlobal>
#include <chrono>
#include <initializer_list>
#include <vector>

// What the benchmarks share: reading a process's CPU, the spread of timed samples, and the
// targets with their verdicts, listed again at the end of a run.

using Clock = std::chrono::steady_clock;

// A count the command line may give as "--name N", read into its place; fewer than least is wrong.
struct Count {
    const char* name;
    int* value;
    int least = 0;
};
// Reads the counts given; anything else, or a count out of bounds, prints the usage and ends the
// program.
void readCounts(int argc, char** argv, std::initializer_list<Count> counts, const char* usage);

double msBetween(Clock::time_point from, Clock::time_point to);

// CPU time of a process's live threads, from the scheduler's own accounts: nanoseconds, where
// /proc/<pid>/stat counts 10 ms ticks.
double cpuMs(qint64 pid);

const char* verdict(bool met);
// Records a target and whether it was met, for printTargets.
void target(const QString& what, bool met);
void printTargets();

struct Spread {
    double median, min, p10, p90, max;
};
// Percentiles between the nearest ranks.
Spread spread(std::vector<double> samples);
// One line of a spread's figures in ms; with a target, its verdict on the median too.
void printSpread(const char* name, const std::vector<double>& samples, double targetMs);
