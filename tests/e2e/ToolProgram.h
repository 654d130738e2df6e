#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>
#include <functional>

class QApplication;

// What the suite's small window programs share: their report lines, their common options and a
// quiet end on SIGTERM.
namespace ToolProgram {

// One line of the report on standard output, at once.
void print(const QByteArray& line);

struct Options {
    QString title;
    QRect geometry;
};

// Reads --title TITLE and --geometry X,Y,W,H over the defaults; every other option goes to
// `other` with its value, which answers false for one it does not know. A mistake ends the
// program with status 1 and the usage line (the program's options after its name).
Options read(int argc, char** argv, Options defaults, const char* usageLine,
             const std::function<bool(const QString& option, const QString& value)>& other);

// Ends the program with status 1: the message, then the usage line given to read().
[[noreturn]] void fail(const QString& message);

// From here on SIGTERM ends the application's event loop, so the program closes as it should.
void quitOnTerminate(QApplication& app);

} // namespace ToolProgram
