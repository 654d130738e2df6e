#include "tests/e2e/ToolProgram.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray gProgram;
const char* gUsageLine = "";
int gSignalPipe[2];

void onTerminate(int) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
}

} // namespace

void ToolProgram::print(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ToolProgram::fail(const QString& message) {
    std::fprintf(stderr, "%s: %s\nusage: %s %s\n", gProgram.constData(), qPrintable(message),
                 gProgram.constData(), gUsageLine);
    std::exit(1);
}

ToolProgram::Options
ToolProgram::read(int argc, char** argv, Options defaults, const char* usageLine,
                  const std::function<bool(const QString&, const QString&)>& other) {
    gProgram = QByteArray(argv[0]).split('/').last();
    gUsageLine = usageLine;
    Options options = std::move(defaults);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (i + 1 == arguments.size())
            fail(QStringLiteral("%1 wants a value").arg(option));
        const QString value = arguments[++i];
        if (option == u"--title") {
            options.title = value;
        } else if (option == u"--geometry") {
            const QStringList numbers = value.split(u',');
            if (numbers.size() != 4)
                fail(QStringLiteral("the geometry is X,Y,W,H"));
            options.geometry = QRect(numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt(),
                                     numbers[3].toInt());
        } else if (!other(option, value)) {
            fail(QStringLiteral("unknown argument %1").arg(option));
        }
    }
    return options;
}

void ToolProgram::quitOnTerminate(QApplication& app) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        fail(QStringLiteral("no socket pair"));
    std::signal(SIGTERM, onTerminate);
    auto* terminated = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(terminated, &QSocketNotifier::activated, &app, &QApplication::quit);
}
