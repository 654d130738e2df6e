#pragma once

#include "bench/Desktop.h"
#include "tests/wayland/WaylandSession.h"

// A headless GNOME Shell of its own (tests/wayland/GnomeSession) with Kelvrin's extension, run by
// the tests' unprivileged user when the benchmark runs as root; Kelvrin's hot key is held by the
// shell. Windows are told apart through the shell's own view of them.
class GnomeDesktop : public Desktop {
public:
    // kelvrin: the program the extension answers. Throws std::runtime_error when the shell does
    // not come up.
    explicit GnomeDesktop(const QString& kelvrin);

    const GnomeSession& session() const { return _gnome; }

    const char* name() const override { return "GNOME"; }
    void start(QProcess& process, const QString& program, const QStringList& arguments,
               const QStringList& extraEnvironment = {}) const override;
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 10000,
               const QByteArray& input = {}) const override;
    void copy(const QByteArray& text) const override;
    qint64 focusedPid() const override;
    bool showsWindowOf(qint64 pid) const override;
    void closeWindowsOf(qint64 pid) const override;
    void pressPasteKey() const override;
    void pressReturn() const override;

private:
    GnomeSession _gnome;
};
