#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <QWidget>
#include <cstdio>

// What the suite's small window programs share: --title and --geometry X,Y,W,H, and report lines
// written at once.
namespace ToolProgram {

// Reads the options, the program's own among them (each takes a value); a mistake ends the
// program with a message. Qt is given none of them: it would take --title and --geometry for its
// own X11 options.
inline void readOptions(QCommandLineParser& parser, int argc, char** argv) {
    parser.addOptions({{"title", "The window's title.", "TITLE", "tool"},
                       {"geometry", "The window's place.", "X,Y,W,H", "100,100,300,80"}});
    parser.process(QStringList(argv, argv + argc));
}

inline void placeWindow(QWidget& window, const QCommandLineParser& parser) {
    const QStringList place = parser.value(QStringLiteral("geometry")).split(u',');
    window.setWindowTitle(parser.value(QStringLiteral("title")));
    window.setGeometry(place.value(0).toInt(), place.value(1).toInt(), place.value(2).toInt(),
                       place.value(3).toInt());
}

inline void print(const QByteArray& line) {
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

} // namespace ToolProgram
