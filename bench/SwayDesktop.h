#pragma once

#include "bench/WaylandDesktop.h"

// A headless sway of its own (tests/wayland/SwaySession), run by the tests' unprivileged user when
// the benchmark runs as root, with Super+Shift+V bound to Kelvrin's paste window.
class SwayDesktop : public WaylandDesktop {
public:
    // kelvrin: the program the binding starts with --paste-window. Throws std::runtime_error when
    // sway does not come up.
    explicit SwayDesktop(const QString& kelvrin);

    const SwaySession& session() const override { return _sway; }

    const char* name() const override { return "Wayland"; }
    qint64 focusedPid() const override;
    bool showsWindowOf(qint64 pid) const override;
    void closeWindowsOf(qint64 pid) const override;
    void pressPasteKey() const override;
    void pressReturn() const override;

private:
    SwaySession _sway;
};
