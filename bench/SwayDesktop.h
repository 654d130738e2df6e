#pragma once

#include "bench/Desktop.h"
#include "tests/wayland/WaylandSession.h"

// A headless sway of its own (tests/wayland/SwaySession), run by the tests' unprivileged user when
// the benchmark runs as root, with Super+Shift+V bound to Kelvrin's paste window.
class SwayDesktop : public Desktop {
public:
    // kelvrin: the program the binding starts with --paste-window. Throws std::runtime_error when
    // sway does not come up.
    explicit SwayDesktop(const QString& kelvrin);

    const SwaySession& session() const { return _sway; }

    const char* name() const override { return "Wayland"; }
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
    SwaySession _sway;
};
