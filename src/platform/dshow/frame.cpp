#include "dshow/frame.h"

#include "com/instrumentation.h"
#include "com/process_state.h"
#include "common/locking.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace platform {

namespace {

// Enough for the pictures and frames of a 3840x2160 camera, or of several
// smaller ones.
constexpr size_t keptPictureBytes = size_t(128) << 20;

struct PictureBlocks {
    quorin::Mutex lock; // guards both members
    std::vector<std::pair<size_t, void *>> kept GUARDED_BY(lock);
    size_t bytes GUARDED_BY(lock) = 0;
};

PictureBlocks &pictureBlocks() { return ProcessState<PictureBlocks>::get(); }

void *reusePictureBlock(size_t size) {
    PictureBlocks &blocks = pictureBlocks();
    quorin::Lock guard(blocks.lock);
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
    quorin::Lock guard(blocks.lock);
    if (blocks.bytes + size > keptPictureBytes)
        return false;
    blocks.kept.emplace_back(size, block);
    blocks.bytes += size;
    return true;
}

// The first touch of fresh memory costs a page fault per 4 kB, which for a
// 1920x1080 frame takes longer than copying it: large blocks are offered
// huge pages, and kept for reuse.
constexpr size_t hugePage = size_t(2) << 20;

size_t roundedSize(size_t size) { return (size + hugePage - 1) / hugePage * hugePage; }

} // namespace

void *allocatePicture(size_t size) {
    failResource("memory");
    if (size < hugePage) {
        if (void *block = std::malloc(size ? size : 1))
            return block;
        throw std::bad_alloc();
    }
    size_t rounded = roundedSize(size);
    if (void *reused = reusePictureBlock(rounded))
        return reused;
    void *block = std::aligned_alloc(hugePage, rounded);
    if (!block)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(block, rounded, MADV_HUGEPAGE); // advice only: without it, plain pages
#endif
    return block;
}

void freePicture(void *block, size_t size) {
    if (size < hugePage || !keepPictureBlock(block, roundedSize(size)))
        std::free(block);
}

void Frame::holdDevicePicture(std::shared_ptr<const PictureConverter> converter,
                              std::shared_ptr<const HeldPicture> held) {
    converter_ = std::move(converter);
    held_ = std::move(held);
    takes_ = 0;
    // Uncontended (a frame being filled is nobody else's yet), and so cheap.
    quorin::Lock guard(converting_);
    convertedTried_ = false;
    convertedWhole_ = false;
}

bool Frame::convert(uint8_t *out) const {
    if (held_)
        return held_->read([&](const uint8_t *data, size_t size) { return converter_->convert(data, size, out); });
    return converter_->convert(bytes.data(), bytes.size(), out);
}

bool Frame::readInto(uint8_t *out) const {
    if (!converter_) {
        std::memcpy(out, bytes.data(), bytes.size());
        return true;
    }
    if (takes_.fetch_add(1) == 0)
        return convert(out);
    quorin::Lock guard(converting_);
    if (!convertedTried_) {
        convertedTried_ = true;
        converted_.resize(converter_->pictureSize());
        convertedWhole_ = convert(converted_.data());
    }
    if (convertedWhole_)
        std::memcpy(out, converted_.data(), converted_.size());
    return convertedWhole_;
}

} // namespace platform
