// The command socket as a careless or hostile client meets it.
#include "platform/InstanceChannel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>

namespace {

// Sends the bytes as they are from another thread, as another process would, while this one
// serves; everything the channel answered before it closed.
QByteArray exchange(const QByteArray& bytes) {
    std::future<QByteArray> answer = std::async(std::launch::async, [bytes] {
        QLocalSocket socket;
        socket.connectToServer(InstanceChannel::socketPath());
        if (!socket.waitForConnected(2000))
            return QByteArray("not connected");
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        socket.waitForDisconnected(InstanceChannel::kRequestTimeoutMs + 2000);
        return socket.readAll();
    });
    const QDeadlineTimer deadline(InstanceChannel::kRequestTimeoutMs + 5000);
    while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready &&
           !deadline.hasExpired())
        QCoreApplication::processEvents();
    return answer.get();
}

class InstanceChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        _savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", _runtime.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", _savedRuntime); }

    QTemporaryDir _runtime;
    QByteArray _savedRuntime;
};

} // namespace

TEST_F(InstanceChannelTest, AnswersTheFirstLineAndRefusesWhatIsNoRequest) {
    QList<QByteArray> heard;
    InstanceChannel channel;
    QString error;
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

    // Still serving after all that.
    QString sendError;
    std::future<std::optional<InstanceChannel::Answer>> answer = std::async(
        std::launch::async, [&] { return InstanceChannel::send("ping", 5000, &sendError); });
    while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents();
    const std::optional<InstanceChannel::Answer> pong = answer.get();
    ASSERT_TRUE(pong);
    EXPECT_TRUE(pong->ok);
    EXPECT_EQ(pong->text, "pong\n");
}

TEST_F(InstanceChannelTest, ASocketFolderOthersCanEnterIsNotUsedAndNoServerIsNoAnswer) {
    QString error;
    EXPECT_FALSE(InstanceChannel::send("ping", 1000, &error));
    EXPECT_EQ(error, QStringLiteral("Kelvrin is not running"));

    const QString folder = _runtime.filePath(QStringLiteral("kelvrin"));
    ASSERT_TRUE(QDir().mkdir(folder));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                      QFileDevice::ExeOther);
    EXPECT_EQ(InstanceChannel().claim(&error), InstanceChannel::Claim::Failed);
    EXPECT_TRUE(error.contains(u"alone")) << error.toStdString();
}
