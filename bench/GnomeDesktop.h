#pragma once

#include "bench/WaylandDesktop.h"

// A headless GNOME Shell of its own (tests/wayland/GnomeSession) with Kelvrin's extension, run by
// the tests' unprivileged user when the benchmark runs as root; Kelvrin's hot key is held by the
// shell. Windows are told apart through the shell's own view of them.
class GnomeDesktop : public WaylandDesktop {
public:
    // kelvrin: the program the extension answers. Throws std::runtime_error when the shell does
    // not come up.
    explicit GnomeDesktop(const QString& kelvrin);

    const GnomeSession& session() const override { return _gnome; }

    const char* name() const override { return "GNOME"; }
    qint64 focusedPid() const override;
    bool showsWindowOf(qint64 pid) const override;
    void closeWindowsOf(qint64 pid) const override;
    void pressPasteKey() const override;
    void pressReturn() const override;

private:
    GnomeSession _gnome;
};
