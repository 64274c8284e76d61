#include "dshow/frame_pool.h"

namespace platform {

FramePool::FramePool(size_t idleLimit) : store_(std::make_shared<Store>()) { store_->idleLimit = idleLimit; }

FramePool::~FramePool() {
    quorin::Lock guard(store_->lock);
    store_->open = false;
    store_->idle.clear();
}

FramePtr FramePool::take() {
    std::unique_ptr<Frame> frame;
    {
        quorin::Lock guard(store_->lock);
        if (!store_->idle.empty()) {
            frame = std::move(store_->idle.back());
            store_->idle.pop_back();
        }
    }
    if (!frame)
        frame = std::make_unique<Frame>();
    // The deleter is the loan's return: under the pool's lock, so that the
    // frame is handed out again only after its last holder let go of it.
    std::shared_ptr<Store> store = store_;
    return FramePtr(frame.release(), [store](Frame *returned) {
        std::unique_ptr<Frame> owned(returned);
        // A driver's buffer goes back to the driver now, not when the frame
        // is next used; outside the pool's lock, since that takes the
        // device's.
        owned->letGo();
        quorin::Lock guard(store->lock);
        if (store->open && store->idle.size() < store->idleLimit)
            store->idle.push_back(std::move(owned));
    });
}

void FramePool::clear() {
    std::vector<std::unique_ptr<Frame>> stale;
    quorin::Lock guard(store_->lock);
    stale.swap(store_->idle);
}

} // namespace platform
