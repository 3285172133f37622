// What the simulator's endpoints wait with: their descriptors until an
// optional deadline (paced output, a restart), and the eventfd that wakes
// their thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

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

// The eventfd that wakes an endpoint's thread. It is shared: it outlives the
// endpoint while the engine may still hold a copy of the output notifier
// that writes to it.
struct WakeFd {
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    WakeFd() = default;
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;
    ~WakeFd() {
        if (fd >= 0) close(fd);
    }
    void Signal() const {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
    }
    void Drain() const {
        uint64_t value;
        [[maybe_unused]] ssize_t n = read(fd, &value, sizeof value);
    }
};

} // namespace SimPoll
