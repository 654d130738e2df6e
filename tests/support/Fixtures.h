#pragma once

// Files of tests/fixtures, for the unit and widget tests (they are given the source folder).
#include <QFile>

inline QString fixturePath(const QString& path) {
    return QStringLiteral(KELVRIN_SOURCE_DIR "/tests/fixtures/") + path;
}

inline QByteArray fixture(const QString& path) {
    QFile file(fixturePath(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
