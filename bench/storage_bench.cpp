// Times saving and loading a folder of sets against plain file I/O on the same bytes, in one
// run, so the figures compare as ratios:
//   storage_bench [--sets N] [--clippings N] [--runs N]
// Defaults: 100 sets of 100 clippings, 1 KB of text each, every tenth also a 200 KB picture.
#include "DefaultDelegate.h"
#include "SetFolder.h"
#include "app/MainApplication.h"
#include "model/ExtraType.h"
#include "model/PasteDataCoding.h"
#include "window/PasteWindow.h"
#include "window/PasteWindowDelegate.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// An uncompressed TIFF of about 200 KB, different for every seed.
QByteArray picture(quint32 seed) {
    QImage image(256, 260, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y)
        random.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.bytesPerLine() / 4);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(0);
    writer.write(image);
    return bytes;
}

// A folder as a previous run would have saved it.
void makeFolder(const QString& dir, int sets, int clippings) {
    QDir().mkpath(dir);
    QStringList names;
    for (int s = 0; s < sets; ++s) {
        names << (s == 0 ? PasteWindow::kHistoryName : QStringLiteral("Set %1").arg(s));
        PasteDataList data;
        for (int c = 0; c < clippings; ++c) {
            auto clipping = std::make_unique<PasteData>();
            clipping->setContents(QString(1024, QChar(u'a' + (s + c) % 26)));
            if (c % 10 == 9)
                clipping->setExtraData(picture(quint32(s * clippings + c)), ExtraType::TIFF);
            else
                clipping->setExtraData(std::nullopt, ExtraType::Text);
            clipping->setNumber(c + 1);
            data.push_back(std::move(clipping));
        }
        SetFolder::writeSet(dir, names.back(), data);
    }
    SetFolder::writeList(dir, names);
}

QList<std::pair<QString, QByteArray>> readAll(const QString& dir) {
    QList<std::pair<QString, QByteArray>> files;
    for (const QString& name : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        QFile file(dir + u'/' + name);
        file.open(QIODevice::ReadOnly);
        files.append({name, file.readAll()});
    }
    return files;
}

// Plain writing of the same bytes, each file flushed to disk as the save does.
void writeAll(const QString& dir, const QList<std::pair<QString, QByteArray>>& files) {
    QDir().mkpath(dir);
    for (const auto& [name, bytes] : files) {
        const int fd = ::open(QFile::encodeName(dir + u'/' + name).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC, 0600);
        (void)!::write(fd, bytes.constData(), size_t(bytes.size()));
        ::fsync(fd);
        ::close(fd);
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work> double timeMs(Work work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

int option(const QStringList& arguments, const QString& name, int fallback) {
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    MainApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int sets = option(arguments, QStringLiteral("--sets"), 100);
    const int clippings = option(arguments, QStringLiteral("--clippings"), 100);
    const int runs = option(arguments, QStringLiteral("--runs"), 5);

    QTemporaryDir scratch;
    const QString source = scratch.filePath(QStringLiteral("source"));
    makeFolder(source, sets, clippings);
    DefaultDelegate settings;

    std::vector<double> load, save, plainRead, plainWrite, decodeOnly, replace;
    qint64 bytes = 0;
    for (int run = 0; run < runs; ++run) {
        // Loaded as at launch, into a window that holds no stored sets yet.
        PasteWindow fresh;
        fresh.initWindow(&settings);
        fresh.getWindow();
        load.push_back(timeMs([&] { fresh.loadData(true, source); }));
        const QString saved = scratch.filePath(QStringLiteral("saved%1").arg(run));
        QString error;
        save.push_back(timeMs([&] { fresh.saveData(saved, error, false); }));
        // Loading again replaces the sets in memory, which frees the old ones first.
        replace.push_back(timeMs([&] { fresh.loadData(true, source); }));
        QList<std::pair<QString, QByteArray>> files;
        plainRead.push_back(timeMs([&] { files = readAll(source); }));
        decodeOnly.push_back(timeMs([&] {
            for (const auto& file : files)
                if (file.first.endsWith(PasteWindow::kSetFileSuffix))
                    unarchivePasteData(file.second);
        }));
        const QString plain = scratch.filePath(QStringLiteral("plain%1").arg(run));
        plainWrite.push_back(timeMs([&] { writeAll(plain, files); }));
        bytes = 0;
        for (const auto& file : files)
            bytes += file.second.size();
    }
    std::printf("Storage: %d sets x %d clippings, %.1f MB in %d files, median of %d runs\n", sets,
                clippings, double(bytes) / 1e6, sets + 1, runs);
    std::printf("  load %8.1f ms   plain read         %8.1f ms   ratio %.2f (target <= 2)\n",
                median(load), median(plainRead), median(load) / median(plainRead));
    std::printf("  of the load, decoding the bytes already in memory: %.1f ms\n",
                median(decodeOnly));
    std::printf("  load over the same sets in memory (frees them too): %.1f ms\n", median(replace));
    std::printf("  save %8.1f ms   plain write+fsync  %8.1f ms   ratio %.2f (target <= 2)\n",
                median(save), median(plainWrite), median(save) / median(plainWrite));
    return 0;
}
