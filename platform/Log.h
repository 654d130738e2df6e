#pragma once

#include <QString>
#include <QStringList>

// Timestamped diagnostic lines on standard error, one per call.
namespace Log {

void write(const QString& line);

// Collects every line written while it lives (they still reach standard error), so a caller
// can look at what was reported.
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    const QStringList& lines() const { return _lines; }
    bool contains(const QString& line) const { return _lines.contains(line); }

private:
    friend void write(const QString& line);
    QStringList _lines;
    Capture* _outer;
};

} // namespace Log
