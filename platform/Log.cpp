#include "platform/Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>
#include <unistd.h>

namespace Log {

namespace {
Capture* activeCapture = nullptr;
}

Capture::Capture() : _outer(activeCapture) {
    activeCapture = this;
}

Capture::~Capture() {
    activeCapture = _outer;
}

void write(const QString& line) {
    for (Capture* capture = activeCapture; capture; capture = capture->_outer)
        capture->_lines.append(line);
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    std::fprintf(stderr, "%s Kelvrin[%d] %s\n", stamp.constData(), int(getpid()),
                 line.toUtf8().constData());
}

} // namespace Log
