// Waiting on the endpoints' descriptors until an optional deadline (paced
// output, a restart): ppoll with the time left, at once when it has passed,
// without a time-out when there is none.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <poll.h>

namespace SimPoll {

inline int Until(pollfd* fds, nfds_t count,
                 const std::optional<std::chrono::steady_clock::time_point>& deadline) {
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (deadline) {
        const auto wait = std::max(std::chrono::nanoseconds(0), *deadline - std::chrono::steady_clock::now());
        timeout.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
        timeout.tv_nsec = static_cast<long>(wait.count() % 1000000000);
        timeoutPtr = &timeout;
    }
    return ppoll(fds, count, timeoutPtr, nullptr);
}

} // namespace SimPoll
