// The frames a capture filter lends its source. A frame goes back to the pool
// when the last reference to it goes, whoever drops it (the grabber on the
// caller's thread, the source on its delivery thread), through its deleter
// and under the pool's lock: so a frame is reused only once nobody holds it,
// and a frame that has been delivered never changes.
#pragma once

#include "dshow/frame.h"
#include "common/locking.h"

#include <memory>
#include <vector>

namespace platform {

class FramePool {
public:
    // idleLimit: how many returned frames are kept for reuse; more are freed.
    explicit FramePool(size_t idleLimit);
    ~FramePool();
    FramePool(const FramePool &) = delete;
    FramePool &operator=(const FramePool &) = delete;

    // A frame that nobody holds: a returned one, or a new one.
    FramePtr take();
    // Frees the frames waiting for reuse (a new format makes them stale);
    // frames still lent come back later as usual.
    void clear();

private:
    // Shared with the frames' deleters, which may run after the pool is gone.
    struct Store {
        quorin::Mutex lock; // guards everything below
        std::vector<std::unique_ptr<Frame>> idle GUARDED_BY(lock);
        size_t idleLimit GUARDED_BY(lock);
        bool open GUARDED_BY(lock) = true;
    };
    std::shared_ptr<Store> store_;
};

} // namespace platform
