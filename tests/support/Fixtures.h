#pragma once

// Files of tests/fixtures, for the unit and widget tests (they are given the source folder).
#include <QFile>

inline QByteArray fixture(const QString& path) {
    QFile file(QStringLiteral(KELVRIN_SOURCE_DIR "/tests/fixtures/") + path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
