#include "platform/Transfer.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

// How often a wait looks whether it was asked to stop.
constexpr std::chrono::milliseconds kStopCheckInterval{50};
// How often a read looks whether a writer it cannot see close has finished.
constexpr std::chrono::milliseconds kDoneCheckInterval{10};

} // namespace

Transfer::Transfer(std::chrono::milliseconds limit, std::stop_token stop)
    : _deadline(Clock::now() + limit), _stop(std::move(stop)) {}

Transfer::Clock::time_point Transfer::nextDeadline() const {
    return std::min(Clock::now() + kTimeout, _deadline);
}

bool Transfer::givenUp(Clock::time_point deadline) const {
    return Clock::now() >= deadline || _stop.stop_requested();
}

void Transfer::waitReadable(int fd, Clock::time_point deadline) const {
    const Clock::time_point wake =
        _stop.stop_possible() ? std::min(deadline, Clock::now() + kStopCheckInterval) : deadline;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
    pollfd readable{fd, POLLIN, 0};
    poll(&readable, 1, int(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
}

std::optional<QByteArray> Transfer::readPipe(int fd, qsizetype allowed,
                                             const std::function<bool()>& writerDone) const {
    QByteArray bytes;
    char chunk[64 * 1024];
    Clock::time_point deadline = nextDeadline();
    bool finished = false;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            if (bytes.size() + got > allowed)
                return std::nullopt;
            bytes.append(chunk, got);
            deadline = nextDeadline();
            continue;
        }
        if (got == 0 || (got < 0 && errno == EAGAIN && finished))
            return bytes;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return std::nullopt;
        // What a finished writer wrote is in the pipe already: one more read drains it.
        if (writerDone && writerDone()) {
            finished = true;
            continue;
        }
        if (givenUp(deadline))
            return std::nullopt;
        waitReadable(fd,
                     writerDone ? std::min(deadline, Clock::now() + kDoneCheckInterval) : deadline);
    }
}
