// Times the rich-text engine on what pasting several clippings at once asks of it: reading RTF
// clippings, joining them and writing the result, and reading one very large RTF document.
//   richtext_bench [--runs N] [--join-only]
// Figures go to standard output; bench/README.md explains them.
#include "formats/richtext/RichText.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// An RTF document of about `size` bytes as word processors write them: a font and colour table
// that differ from clipping to clipping, paragraphs with alignment and spacing, runs of bold,
// italic, coloured and sized text, accented and Cyrillic letters as \'hh and \uN.
QByteArray clipping(int seed, qsizetype size) {
    static const char* const fonts[] = {"Times New Roman", "Arial",   "Courier New",
                                        "Georgia",         "Verdana", "DejaVu Sans"};
    static const char* const words[] = {
        "clipboard",      "history",      "paste",        "window",
        "selection",      "caf\\'e9",     "na\\'efve",    "\\u1055\\'3f\\u1088\\'3f",
        "{\\b bold}",     "{\\i italic}", "{\\ul under}", "{\\cf2 red}",
        "{\\fs32 large}", "{\\f1 other}"};
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
    for (int f = 0; f < 3; ++f) {
        rtf += "{\\f" + QByteArray::number(f) + "\\fnil\\fcharset0 " + fonts[(seed + f) % 6] + ";}";
    }
    rtf += "}{\\colortbl;\\red" + QByteArray::number(seed % 256) +
           "\\green0\\blue0;\\red255\\green0\\blue" + QByteArray::number(seed * 7 % 256) + ";}\n";
    unsigned state = unsigned(seed) * 2654435761u + 1;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    while (rtf.size() < size) {
        rtf += "\\pard\\q" + QByteArray("lcrj").mid(next() % 4, 1) + "\\sa120\\sb" +
               QByteArray::number(next() % 240) + " ";
        for (int w = 0; w < 60 && rtf.size() < size; ++w) {
            rtf += words[next() % 14];
            rtf += ' ';
        }
        rtf += "\\par\n";
    }
    return rtf + "}";
}

struct Timing {
    double median;
    double best;
};

template <typename F> Timing measure(int runs, F&& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 9;
    const QStringList args = app.arguments();
    const qsizetype runsAt = args.indexOf("--runs");
    if (runsAt > 0 && runsAt + 1 < args.size())
        runs = std::max(1, args.at(runsAt + 1).toInt());

    std::vector<QByteArray> clippings;
    qsizetype total = 0;
    for (int i = 0; i < 100; ++i) {
        clippings.push_back(clipping(i, 10 * 1024));
        total += clippings.back().size();
    }
    qsizetype joinedSize = 0;
    const Timing read = measure(runs, [&] {
        for (const QByteArray& rtf : clippings)
            (void)RichText::fromRTF(rtf);
    });
    std::vector<RichText> parts;
    for (const QByteArray& rtf : clippings)
        parts.push_back(*RichText::fromRTF(rtf));
    RichText joined;
    const Timing append = measure(runs, [&] {
        joined = RichText();
        for (const RichText& part : parts)
            joined.append(part);
    });
    const Timing write = measure(runs, [&] { joinedSize = joined.RTF().size(); });
    const Timing join = measure(runs, [&] {
        RichText all;
        for (const QByteArray& rtf : clippings)
            all.append(*RichText::fromRTF(rtf));
        (void)all.RTF();
    });
    std::printf("join 100 RTF clippings (%lld KB in all) and write RTF (%lld KB): median %.1f ms, "
                "best %.1f ms\n  of which reading: %.1f ms, appending: %.1f ms, writing: %.1f ms "
                "(medians)\n",
                static_cast<long long>(total / 1024), static_cast<long long>(joinedSize / 1024),
                join.median, join.best, read.median, append.median, write.median);

    if (args.contains("--join-only"))
        return 0;
    for (const int megabytes : {1, 5, 10}) {
        const QByteArray big = clipping(megabytes, qsizetype(megabytes) * 1024 * 1024);
        qsizetype characters = 0;
        const Timing t = measure(std::max(3, runs / 3),
                                 [&] { characters = RichText::fromRTF(big)->plainText().size(); });
        std::printf("read %d MB RTF (%lld characters): median %.0f ms, best %.0f ms, %.0f MB/s\n",
                    megabytes, static_cast<long long>(characters), t.median, t.best,
                    double(big.size()) / (1024 * 1024) / (t.median / 1000));
    }
    return 0;
}
