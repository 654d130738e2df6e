#pragma once

#include "bench/Desktop.h"
#include "tests/e2e/XServer.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>

// A private Xvfb with openbox (tests/e2e/XServer), whose programs get settings and runtime
// folders of their own, so a Kelvrin started there starts as on a first run.
class X11Desktop : public Desktop {
public:
    // Throws std::runtime_error when the display cannot be started.
    X11Desktop();

    const char* name() const override { return "X11"; }
    // $XDG_CONFIG_HOME of the programs started here, where Kelvrin keeps its settings.
    QString configHome() const { return _environment.value(QStringLiteral("XDG_CONFIG_HOME")); }
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
    XServer _server;
    QTemporaryDir _home;
    QProcessEnvironment _environment;
};
