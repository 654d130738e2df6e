#pragma once

#include "bench/Desktop.h"
#include "tests/wayland/WaylandSession.h"

// A Wayland session of the tests as a benchmark's desktop: programs start there as the session's
// user's, and wl-copy copies.
class WaylandDesktop : public Desktop {
public:
    virtual const WaylandSession& session() const = 0;

    void start(QProcess& process, const QString& program, const QStringList& arguments,
               const QStringList& extraEnvironment = {}) const override {
        session().start(process, program, arguments, extraEnvironment);
    }
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 10000,
               const QByteArray& input = {}) const override {
        return session().run(program, arguments, timeoutMs, input);
    }
    void copy(const QByteArray& text) const override {
        run(QStringLiteral("wl-copy"), {QString::fromUtf8(text)});
    }
};
