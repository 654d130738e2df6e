// Reading a pipe whose writer may keep its end open: what was written arrives whole, once, and a
// writer that sends too much or never finishes costs the limit, not a hang.
#include "platform/Transfer.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

struct Pipe {
    int ends[2];
    Pipe() {
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        ::close(ends[0]);
        if (ends[1] >= 0)
            ::close(ends[1]);
    }
    int readEnd() const { return ends[0]; }
    // Writes from a thread of its own, as the other process would: more than the pipe holds.
    std::thread write(const QByteArray& bytes, std::atomic<bool>& finished, bool closeAfter) {
        return std::thread([this, bytes, &finished, closeAfter] {
            for (qsizetype at = 0; at < bytes.size();) {
                const ssize_t put = ::write(ends[1], bytes.constData() + at, bytes.size() - at);
                if (put <= 0)
                    break;
                at += put;
            }
            if (closeAfter)
                ::close(std::exchange(ends[1], -1));
            finished = true;
        });
    }
};

QByteArray large() {
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    return bytes;
}

} // namespace

TEST(Transfer, ReadsAPipeToItsEndOrToItsWritersWord) {
    for (const bool closed : {true, false}) {
        SCOPED_TRACE(closed ? "the writer closes its end" : "the writer's end stays open");
        Pipe pipe;
        std::atomic<bool> finished = false;
        std::thread writer = pipe.write(large(), finished, closed);
        const std::optional<QByteArray> read = Transfer().readPipe(
            pipe.readEnd(), Transfer::kMaxBytes,
            closed ? std::function<bool()>() : [&] { return finished.load(); });
        writer.join();
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, large());
    }
}

TEST(Transfer, AWriterThatSendsTooMuchOrNeverFinishesSuppliesNothing) {
    Pipe tooMuch;
    ASSERT_EQ(::write(tooMuch.ends[1], large().constData(), 2000), 2000);
    ::close(std::exchange(tooMuch.ends[1], -1));
    EXPECT_FALSE(Transfer().readPipe(tooMuch.readEnd(), 1000).has_value());
    Pipe silent;
    const auto started = Transfer::Clock::now();
    EXPECT_FALSE(Transfer(std::chrono::milliseconds(200))
                     .readPipe(silent.readEnd(), 1000, [] { return false; })
                     .has_value());
    EXPECT_LT(Transfer::Clock::now() - started, std::chrono::seconds(2));
}
