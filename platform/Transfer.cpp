#include "platform/Transfer.h"

#include <algorithm>
#include <poll.h>

namespace {

// How often a wait looks whether it was asked to stop.
constexpr std::chrono::milliseconds kStopCheckInterval{50};

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
