#pragma once

#include "tests/wayland/WaylandSession.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// One display system as a benchmark drives it from outside: programs started there as a user's
// would be, the clipboard fed by the system's own tools, windows told apart by their process, and
// the keys a user presses around Kelvrin's paste window.
class Desktop {
public:
    using Result = WaylandSession::Result;

    virtual ~Desktop() = default;
    virtual const char* name() const = 0;

    // Starts a program there; the extra variables come on top of the desktop's own.
    virtual void start(QProcess& process, const QString& program, const QStringList& arguments,
                       const QStringList& extraEnvironment = {}) const = 0;
    // Runs a program there until it ends, at most the time given, feeding it the input.
    virtual Result run(const QString& program, const QStringList& arguments, int timeoutMs = 10000,
                       const QByteArray& input = {}) const = 0;
    // Copies a text as another program would, with xclip or wl-copy; returns once the tool has
    // handed the serving to a process of its own.
    virtual void copy(const QByteArray& text) const = 0;

    // The process whose window has the keyboard; 0 when none has.
    virtual qint64 focusedPid() const = 0;
    virtual bool showsWindowOf(qint64 pid) const = 0;
    // As its close button would: Kelvrin's window only hides.
    virtual void closeWindowsOf(qint64 pid) const = 0;
    // Kelvrin's paste window called up as a user does (the hot key, the compositor's binding);
    // returns once the keys are typed.
    virtual void pressPasteKey() const = 0;
    virtual void pressReturn() const = 0;
};
