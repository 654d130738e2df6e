#pragma once

// Files of tests/fixtures, for the unit and widget tests (they are given the source folder).
#include <QFile>

// A file's bytes; none when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString fixturePath(const QString& path) {
    return QStringLiteral(KELVRIN_SOURCE_DIR "/tests/fixtures/") + path;
}

inline QByteArray fixture(const QString& path) {
    return readFile(fixturePath(path));
}
