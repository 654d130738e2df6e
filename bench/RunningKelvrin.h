#pragma once

#include "bench/Desktop.h"

#include <QProcess>
#include <optional>

// The real kelvrin program running on a desktop, as on a first run, its window put away as after a
// paste; watched from outside through its command line and /proc, asked to quit when it goes.
class RunningKelvrin {
public:
    // Throws std::runtime_error when it does not come up and answer.
    RunningKelvrin(const Desktop& desktop, const QString& program);
    ~RunningKelvrin();
    RunningKelvrin(const RunningKelvrin&) = delete;
    RunningKelvrin& operator=(const RunningKelvrin&) = delete;

    qint64 pid() const { return _pid; }

    struct Answer {
        // Absent when the command failed or gave up.
        std::optional<QByteArray> listing;
        // From the command's start to its end.
        double ms = 0;
    };
    // Asks with `kelvrin --list`, a process of its own as a user's would be.
    Answer list() const;

private:
    const Desktop& _desktop;
    const QString _program;
    QProcess _process;
    qint64 _pid = 0;
};

// The text of the newest clipping in what --list printed; empty when there is none.
QString newestListed(const QByteArray& listing);
