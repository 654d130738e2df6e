#include "platform/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder must be ours alone: a socket in a folder others can write to could be replaced by
// theirs, and the history would go to them.
bool isPrivateFolder(const QByteArray& path) {
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == getuid() && (status.st_mode & 077) == 0;
}

QString socketFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QStringLiteral("/tmp/kelvrin-%1").arg(getuid())
                             : runtime + QStringLiteral("/kelvrin");
}

QString lockPath() {
    return socketFolder() + QStringLiteral("/lock");
}

// The whole file, exclusively. An open file description's lock, unlike a process's, is not
// dropped when some other descriptor of the file is closed, and is seen by every other opening,
// in this process too.
flock wholeFile() {
    flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}

// Another user's program may reach the socket only through a mistake in the folder's rights;
// even then neither side tells it anything.
bool isSameUser(const QLocalSocket* socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) ==
               0 &&
           peer.uid == getuid();
}

} // namespace

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent) {}

InstanceChannel::~InstanceChannel() {
    _server.reset();
    if (_lock >= 0)
        ::close(_lock);
}

QString InstanceChannel::socketPath() {
    return socketFolder() + QStringLiteral("/command");
}

InstanceChannel::Claim InstanceChannel::claim(QString* error) {
    const QString folder = socketFolder();
    const QString lock = lockPath();
    const auto failed = [error](const char* what, const QString& path) {
        const int reason = errno;
        *error = QStringLiteral("cannot %1 %2: %3")
                     .arg(QLatin1String(what), path, QString::fromLocal8Bit(strerror(reason)));
        return Claim::Failed;
    };
    if (mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return failed("make", folder);
    if (!isPrivateFolder(QFile::encodeName(folder))) {
        *error = QStringLiteral("%1 is not a folder of this user's alone").arg(folder);
        return Claim::Failed;
    }
    const int fd = ::open(QFile::encodeName(lock).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return failed("open", lock);
    flock whole = wholeFile();
    if (fcntl(fd, F_OFD_SETLK, &whole) == 0) {
        _lock = fd;
        return Claim::Taken;
    }
    const Claim claim =
        errno == EAGAIN || errno == EACCES ? Claim::HeldElsewhere : failed("lock", lock);
    ::close(fd);
    return claim;
}

bool InstanceChannel::listen(Handler handler, QString* error) {
    Q_ASSERT(_lock >= 0);
    _handler = std::move(handler);
    // Whoever made a socket there ended, since we hold the lock: it answers nobody.
    QLocalServer::removeServer(socketPath());
    _server = std::make_unique<QLocalServer>();
    _server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!_server->listen(socketPath())) {
        *error = _server->errorString();
        _server.reset();
        return false;
    }
    connect(_server.get(), &QLocalServer::newConnection, this, &InstanceChannel::accept);
    return true;
}

bool InstanceChannel::isRunning() {
    if (!isPrivateFolder(QFile::encodeName(socketFolder())))
        return false;
    const int fd =
        ::open(QFile::encodeName(lockPath()).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    flock whole = wholeFile();
    const bool held = fcntl(fd, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

bool InstanceChannel::connectToInstance(QLocalSocket& socket, QString* error) {
    // Whoever could put a socket there would be told our commands and answer with anything.
    const QByteArray folder = QFile::encodeName(socketFolder());
    if (struct stat status{}; lstat(folder.constData(), &status) == 0 && !isPrivateFolder(folder)) {
        *error = QStringLiteral("%1 is not a folder of this user's alone").arg(socketFolder());
        return false;
    }
    const QDeadlineTimer connecting(kConnectTimeoutMs);
    for (;;) {
        if (!isRunning()) {
            *error = QStringLiteral("Kelvrin is not running");
            return false;
        }
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(1000))
            break;
        if (connecting.hasExpired()) {
            *error = QStringLiteral("the running Kelvrin takes no connection");
            return false;
        }
        // It holds the lock but listens not yet: it is starting.
        QThread::msleep(50);
    }
    if (!isSameUser(&socket)) {
        *error = QStringLiteral("%1 is served by another user").arg(socketPath());
        return false;
    }
    return true;
}

void InstanceChannel::accept() {
    while (QLocalSocket* socket = _server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!isSameUser(socket)) {
            reply(socket, {false, "refused"});
            continue;
        }
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [socket] {
            reply(socket, {false, "no request in time"});
        });
        timeout->start(kRequestTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        read(socket);
    }
}

void InstanceChannel::read(QLocalSocket* socket) {
    if (socket->state() != QLocalSocket::ConnectedState || !socket->isReadable())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequest)
            reply(socket, {false, "request too long"});
        return;
    }
    // Anything after the first line is not looked at.
    const QByteArray line = socket->readLine(kMaxRequest + 1);
    if (!line.endsWith('\n')) {
        reply(socket, {false, "request too long"});
        return;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    reply(socket, _handler(line.chopped(1)));
}

void InstanceChannel::reply(QLocalSocket* socket, const Answer& answer) {
    for (QTimer* timer : socket->findChildren<QTimer*>())
        timer->stop();
    socket->write(answer.ok ? QByteArray("ok\n") : "error " + answer.text + '\n');
    if (answer.ok)
        socket->write(answer.text);
    // Written out before the connection closes: the answer to a quit is sent on the way out.
    // A sender that gave up waiting is gone already.
    socket->flush();
    if (socket->state() == QLocalSocket::ConnectedState)
        socket->waitForBytesWritten(1000);
    socket->disconnectFromServer();
}

std::optional<InstanceChannel::Answer> InstanceChannel::send(const QByteArray& request,
                                                             int timeoutMs, QString* error) {
    QLocalSocket socket;
    if (!connectToInstance(socket, error))
        return std::nullopt;
    socket.write(request + '\n');
    // The running side closes the connection once it has answered; -1 waits as long as it takes.
    socket.waitForDisconnected(timeoutMs);
    const QByteArray received = socket.readAll();
    const qsizetype end = received.indexOf('\n');
    if (end < 0) {
        *error = QStringLiteral("the running Kelvrin did not answer");
        return std::nullopt;
    }
    const QByteArray status = received.left(end);
    if (status == "ok")
        return Answer{true, received.mid(end + 1)};
    return Answer{false, status.startsWith("error ") ? status.mid(6) : status};
}
