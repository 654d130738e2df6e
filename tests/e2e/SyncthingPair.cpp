#include "tests/e2e/SyncthingPair.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QThread>
#include <stdexcept>

namespace {

constexpr int kStartTimeoutMs = 60000;
const QString kFolderId = QStringLiteral("kelvrin");

// A port no one listens on now.
int freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        throw std::runtime_error("no free port on the loopback interface");
    return probe.serverPort();
}

} // namespace

struct SyncthingPair::Instance {
    QString home;
    QString folder;
    QString id;
    int listenPort = freePort();
    int guiPort = freePort();
    QProcess process;

    Instance(const QString& instanceHome, const QString& shared)
        : home(instanceHome), folder(shared) {
        QProcess generate;
        generate.setProcessChannelMode(QProcess::MergedChannels);
        generate.start(QStringLiteral("syncthing"),
                       {"generate", "--home=" + home, "--no-default-folder"});
        if (!generate.waitForFinished(30000) || generate.exitCode() != 0)
            throw std::runtime_error("syncthing generate failed (is syncthing installed?)");
        for (const QByteArray& line : generate.readAll().split('\n'))
            if (const qsizetype at = line.indexOf("Device ID: "); at >= 0)
                id = QString::fromLatin1(line.mid(at + 11).trimmed());
        if (id.isEmpty())
            throw std::runtime_error("syncthing generate told no device ID");
        // Syncthing shares a folder only where its marker is.
        QDir().mkpath(folder + QStringLiteral("/.stfolder"));
    }

    // Its configuration: the folder shared with the other, and nothing reached beyond this
    // machine. One of the two dials: two dialing each other at once can both give up, each
    // waiting for the other's hello.
    void configure(const Instance& other, bool dials) const {
        const QString config =
            QStringLiteral(
                "<configuration version=\"36\">\n"
                "  <folder id=\"%1\" label=\"%1\" path=\"%2\" type=\"sendreceive\"\n"
                "          rescanIntervalS=\"3600\" fsWatcherEnabled=\"true\" "
                "fsWatcherDelayS=\"1\">\n"
                "    <device id=\"%3\"></device>\n"
                "    <device id=\"%4\"></device>\n"
                "    <minDiskFree unit=\"%\">0</minDiskFree>\n"
                "  </folder>\n"
                "  <device id=\"%3\" name=\"self\"><address>dynamic</address></device>\n"
                "  <device id=\"%4\" "
                "name=\"other\"><address>%5</address></device>\n"
                "  <gui enabled=\"true\" tls=\"false\"><address>127.0.0.1:%6</address></gui>\n"
                "  <options>\n"
                "    <listenAddress>tcp://127.0.0.1:%7</listenAddress>\n"
                "    <globalAnnounceEnabled>false</globalAnnounceEnabled>\n"
                "    <localAnnounceEnabled>false</localAnnounceEnabled>\n"
                "    <relaysEnabled>false</relaysEnabled>\n"
                "    <natEnabled>false</natEnabled>\n"
                "    <urAccepted>-1</urAccepted>\n"
                "    <autoUpgradeIntervalH>0</autoUpgradeIntervalH>\n"
                "    <startBrowser>false</startBrowser>\n"
                "    <crashReportingEnabled>false</crashReportingEnabled>\n"
                "    <minHomeDiskFree unit=\"%\">0</minHomeDiskFree>\n"
                // A connection that failed is tried again at once, not after a minute.
                "    <reconnectionIntervalS>1</reconnectionIntervalS>\n"
                "  </options>\n"
                "</configuration>\n")
                .arg(kFolderId, folder.toHtmlEscaped(), id, other.id)
                .arg(dials ? QStringLiteral("tcp://127.0.0.1:%1").arg(other.listenPort)
                           : QStringLiteral("dynamic"))
                .arg(guiPort)
                .arg(listenPort);
        QFile file(home + QStringLiteral("/config.xml"));
        if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
            throw std::runtime_error("cannot write syncthing's configuration");
    }

    void start() {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("syncthing"),
                      {"serve", "--home=" + home, "--no-browser", "--no-restart"});
        if (!process.waitForStarted())
            throw std::runtime_error("syncthing does not start");
    }

    // Whether it said it is connected to the other; what it said meanwhile is kept for the next
    // look.
    bool connected(QByteArray& said) {
        process.waitForReadyRead(100);
        said += process.readAll();
        return said.contains("Established secure connection");
    }

    ~Instance() {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(2000);
    }
};

SyncthingPair::SyncthingPair(const QString& folderA, const QString& folderB, const QString& homes)
    : _a(std::make_unique<Instance>(homes + QStringLiteral("/a"), folderA)),
      _b(std::make_unique<Instance>(homes + QStringLiteral("/b"), folderB)) {
    _a->configure(*_b, true);
    _b->configure(*_a, false);
    _a->start();
    _b->start();
    QByteArray saidA, saidB;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!(_a->connected(saidA) && _b->connected(saidB)))
        if (deadline.hasExpired())
            throw std::runtime_error("the two syncthing instances did not connect:\n" +
                                     saidA.right(2000).toStdString());
}

SyncthingPair::~SyncthingPair() = default;
