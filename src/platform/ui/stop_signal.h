// A stop that a wait in poll() sees at once: raised by one thread, it wakes
// every poll over its descriptor, and stays raised.
#pragma once

#include <atomic>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

class StopSignal {
public:
    StopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    StopSignal(const StopSignal &) = delete;
    StopSignal &operator=(const StopSignal &) = delete;
    ~StopSignal() {
        if (fd_ >= 0)
            close(fd_);
    }

    // False when the system had no descriptor to spare: the stop is then
    // seen only by raised(), and a wait must not rely on the descriptor.
    bool usable() const { return fd_ >= 0; }
    // The descriptor to poll for POLLIN.
    int fd() const { return fd_; }

    void raise() {
        raised_ = true;
        const uint64_t one = 1;
        if (fd_ >= 0) {
            ssize_t written = write(fd_, &one, sizeof one);
            (void)written; // a full counter is raised all the same
        }
    }
    bool raised() const { return raised_; }

private:
    int fd_;
    std::atomic<bool> raised_{false};
};

} // namespace platform
