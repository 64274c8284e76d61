#include "dshow/frame_pool.h"

namespace platform {

namespace {

// Enough for the pictures and frames of a 3840x2160 camera, or of several
// smaller ones.
constexpr size_t keptPictureBytes = size_t(128) << 20;

struct PictureBlocks {
    std::mutex lock; // guards both members
    std::vector<std::pair<size_t, void *>> kept;
    size_t bytes = 0;
};

PictureBlocks &pictureBlocks() {
    static PictureBlocks *instance = new PictureBlocks; // outlives static teardown, as frames may
    return *instance;
}

} // namespace

void *reusePictureBlock(size_t size) {
    PictureBlocks &blocks = pictureBlocks();
    std::lock_guard<std::mutex> guard(blocks.lock);
    for (auto it = blocks.kept.begin(); it != blocks.kept.end(); ++it) {
        if (it->first == size) {
            void *block = it->second;
            blocks.kept.erase(it);
            blocks.bytes -= size;
            return block;
        }
    }
    return nullptr;
}

bool keepPictureBlock(void *block, size_t size) {
    PictureBlocks &blocks = pictureBlocks();
    std::lock_guard<std::mutex> guard(blocks.lock);
    if (blocks.bytes + size > keptPictureBytes)
        return false;
    blocks.kept.emplace_back(size, block);
    blocks.bytes += size;
    return true;
}

FramePool::FramePool(size_t idleLimit) : store_(std::make_shared<Store>()) { store_->idleLimit = idleLimit; }

FramePool::~FramePool() {
    std::lock_guard<std::mutex> guard(store_->lock);
    store_->open = false;
    store_->idle.clear();
}

FramePtr FramePool::take() {
    std::unique_ptr<Frame> frame;
    {
        std::lock_guard<std::mutex> guard(store_->lock);
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
        std::lock_guard<std::mutex> guard(store->lock);
        if (store->open && store->idle.size() < store->idleLimit)
            store->idle.push_back(std::move(owned));
    });
}

void FramePool::clear() {
    std::vector<std::unique_ptr<Frame>> stale;
    std::lock_guard<std::mutex> guard(store_->lock);
    stale.swap(store_->idle);
}

} // namespace platform
