#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

// The time and the bytes a clipboard owner is given to hand a content over, whatever the display
// system carries it. One transfer covers a whole capture: the type list, the secret mark, the
// text and the payload, read one after another within one deadline.
class Transfer {
public:
    using Clock = std::chrono::steady_clock;

    // How long an owner may keep us waiting for an answer, or for the next piece of a long
    // transfer, before its content counts as one it cannot supply.
    static constexpr std::chrono::milliseconds kTimeout{5000};
    // How long a whole capture may take; a screenshot from a slow owner is given the time it
    // needs, on the worker that reads it.
    static constexpr std::chrono::milliseconds kCaptureLimit{30000};

    // The most bytes taken of each kind of answer; an owner that sends more supplies nothing.
    // More than any picture or rich text a person copies:
    static constexpr qsizetype kMaxBytes = qsizetype(512) << 20;
    // More than any text a person copies, a few million lines; kept far below the pictures' as a
    // text stays whole in memory and in the table's model:
    static constexpr qsizetype kMaxTextBytes = qsizetype(16) << 20;
    // The secret mark is a word:
    static constexpr qsizetype kMaxMarkBytes = 64;
    // The list of types an owner offers, a few dozen names in practice:
    static constexpr qsizetype kMaxTypeListBytes = qsizetype(1) << 20;

    // Starts a transfer that may take the time limit given and is given up as soon as a stop is
    // asked for through the token.
    explicit Transfer(std::chrono::milliseconds limit = kTimeout, std::stop_token stop = {});

    // When the owner's next answer is due: the timeout from now, within the transfer's limit.
    Clock::time_point nextDeadline() const;
    // Whether waiting on is pointless: the deadline passed or a stop was asked for.
    bool givenUp(Clock::time_point deadline) const;
    bool stopped() const { return _stop.stop_requested(); }
    const std::stop_token& stopToken() const { return _stop; }
    // Sleeps until the file descriptor has something to read or the deadline passes; a stop
    // asked for meanwhile is noticed within a few tens of milliseconds.
    void waitReadable(int fd, Clock::time_point deadline) const;
    // Everything written into the pipe (its non-blocking read end) until the writer closes it,
    // or, for a writer whose end stays open elsewhere, until writerDone says it has finished;
    // absent when the time or the bytes allowed run out, a stop is asked for or the pipe breaks.
    std::optional<QByteArray> readPipe(int fd, qsizetype allowed,
                                       const std::function<bool()>& writerDone = {}) const;

private:
    Clock::time_point _deadline;
    std::stop_token _stop;
};
