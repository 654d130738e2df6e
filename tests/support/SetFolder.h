#pragma once

// Data folders as a run of Kelvrin leaves them, for benchmarks that start from stored sets.
#include "model/PasteDataCoding.h"
#include "window/PasteWindow.h"

#include <QFile>
#include <QStringList>
#include <stdexcept>

namespace SetFolder {

inline void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error("cannot write " + path.toStdString());
}

// One set's archive, under the file name the set's name gives it.
inline void writeSet(const QString& folder, const QString& name, const PasteDataList& clippings) {
    write(folder + u'/' + name + PasteWindow::kSetFileSuffix, archivePasteData(clippings));
}

// The list file naming the sets in their order.
inline void writeList(const QString& folder, const QStringList& names) {
    QByteArray list;
    for (const QString& name : names)
        list += (name + PasteWindow::kSetFileSuffix).toUtf8() + '\n';
    write(folder + u'/' + PasteWindow::kListFileName, list);
}

} // namespace SetFolder
