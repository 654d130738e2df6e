#pragma once

#include <QtGlobal>
#include <chrono>
#include <stop_token>

// The time and the bytes a clipboard owner is given to hand its content over, whatever the
// display system carries it: one transfer, from the request to its last byte.
class Transfer {
public:
    using Clock = std::chrono::steady_clock;

    // How long an owner may keep us waiting for an answer, or for the next piece of a long
    // transfer, before its content counts as one it cannot supply; also how long a whole
    // transfer may take on the thread that answers the user.
    static constexpr std::chrono::milliseconds kTimeout{5000};
    // How long a whole transfer may take on a worker, where a screenshot from a slow owner is
    // given the time it needs.
    static constexpr std::chrono::milliseconds kWorkerLimit{30000};
    // More than any picture or text a person copies; an owner that sends without end stops here.
    static constexpr qsizetype kMaxBytes = qsizetype(512) << 20;

    // Starts a transfer that may take the time limit given and is given up as soon as a stop is
    // asked for through the token.
    explicit Transfer(std::chrono::milliseconds limit = kTimeout, std::stop_token stop = {});

    // When the owner's next answer is due: the timeout from now, within the transfer's limit.
    Clock::time_point nextDeadline() const;
    // Whether waiting on is pointless: the deadline passed or a stop was asked for.
    bool givenUp(Clock::time_point deadline) const;
    // Sleeps until the file descriptor has something to read or the deadline passes; a stop
    // asked for meanwhile is noticed within a few tens of milliseconds.
    void waitReadable(int fd, Clock::time_point deadline) const;

private:
    Clock::time_point _deadline;
    std::stop_token _stop;
};
