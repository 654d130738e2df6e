// The command socket as a careless or hostile client meets it.
#include "ScopedEnvironment.h"

#include "platform/InstanceChannel.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Runs what another process would do on a thread of its own while this one serves: its result.
template <typename Work> auto whileServing(Work work) {
    auto result = std::async(std::launch::async, std::move(work));
    while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return result.get();
}

// Sends the bytes as they are: everything the channel answered before it closed.
QByteArray exchange(const QByteArray& bytes) {
    return whileServing([bytes] {
        QLocalSocket socket;
        socket.connectToServer(InstanceChannel::socketPath());
        socket.waitForConnected(2000);
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        socket.waitForDisconnected(InstanceChannel::kRequestTimeoutMs + 2000);
        return socket.readAll();
    });
}

// A request as a second kelvrin sends it.
std::optional<InstanceChannel::Answer> ask(const QByteArray& request, QString* error) {
    return whileServing([&] { return InstanceChannel::send(request, 5000, error); });
}

} // namespace

TEST(InstanceChannelTest, AnswersTheFirstLineAndNeitherSideTrustsAFolderOrServerOfAnotherUser) {
    const QTemporaryDir runtime;
    const ScopedEnvironment environment{{"XDG_RUNTIME_DIR", runtime.path().toUtf8().constData()}};
    QString error;
    {
        QList<QByteArray> heard;
        InstanceChannel channel;
        ASSERT_EQ(channel.claim(&error), InstanceChannel::Claim::Taken) << error.toStdString();
        ASSERT_TRUE(channel.listen(
            [&](const QByteArray& request) {
                heard << request;
                return InstanceChannel::Answer{request == "ping", "pong\n"};
            },
            &error))
            << error.toStdString();
        EXPECT_EQ(InstanceChannel().claim(&error), InstanceChannel::Claim::HeldElsewhere);

        EXPECT_EQ(exchange("ping\nand more\n"), "ok\npong\n") << "only the first line counts";
        EXPECT_EQ(exchange(QByteArray("\xff\x00garbage\n", 10)), "error pong\n\n");
        EXPECT_EQ(exchange(QByteArray(100000, 'x')), "error request too long\n");
        EXPECT_EQ(exchange("no line feed"), "error no request in time\n");
        EXPECT_EQ(heard, (QList<QByteArray>{"ping", QByteArray("\xff\x00garbage", 9)}));
        const std::optional<InstanceChannel::Answer> pong = ask("ping", &error);
        ASSERT_TRUE(pong) << error.toStdString();
        EXPECT_TRUE(pong->ok);
        EXPECT_EQ(pong->text, "pong\n");

        // Through a link the folder may be anybody's.
        const QString folder = runtime.filePath(QStringLiteral("kelvrin"));
        QTemporaryDir elsewhere;
        ASSERT_TRUE(QFile::link(folder, elsewhere.filePath(QStringLiteral("kelvrin"))));
        qputenv("XDG_RUNTIME_DIR", elsewhere.path().toUtf8());
        EXPECT_FALSE(ask("ping", &error));
        EXPECT_TRUE(error.contains(u"alone")) << error.toStdString();
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());

        QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther);
        EXPECT_FALSE(ask("ping", &error));
        EXPECT_TRUE(error.contains(u"alone")) << error.toStdString();
        EXPECT_EQ(InstanceChannel().claim(&error), InstanceChannel::Claim::Failed);
        EXPECT_TRUE(error.contains(u"alone")) << error.toStdString();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }

    if (geteuid() != 0)
        GTEST_SKIP() << "only root can serve the socket as another user";
    InstanceChannel holder;
    ASSERT_EQ(holder.claim(&error), InstanceChannel::Claim::Taken) << error.toStdString();
    // A socket on the command socket's path, listened on as the user nobody, as another user's
    // program would if it reached there: a socket's peer is whoever listens on it, not whoever made
    // its file.
    const QByteArray path = QFile::encodeName(InstanceChannel::socketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int stranger = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool listening =
        bind(stranger, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        seteuid(65534) == 0 && listen(stranger, 1) == 0;
    ASSERT_TRUE(seteuid(0) == 0 && listening);
    EXPECT_FALSE(InstanceChannel::send("list", 5000, &error));
    EXPECT_TRUE(error.contains(u"another user")) << error.toStdString();
    ::close(stranger);
}
