// Samples as they travel from a capture filter downstream. A frame belongs to
// its camera's pool; whoever holds a reference keeps the camera from writing
// into it, so a frame that has been delivered never changes.
#pragma once

#include "com/instrumentation.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <sys/mman.h>

namespace platform {

// Blocks of picture memory that were given back, kept (up to a limit) for
// the next picture of the same size: a device opened again, or at the same
// size, then touches no fresh memory. Null, or false, when there is none or
// no room.
void *reusePictureBlock(size_t size);
bool keepPictureBlock(void *block, size_t size);

// Memory for pictures. A block of 2 MB or more is aligned to 2 MB and offered
// huge pages, and recycled: the first touch of fresh memory otherwise costs a
// page fault per 4 kB, which for a 1920x1080 frame takes longer than copying
// it, and every new frame, picture and device would pay it.
template <class T>
struct PictureAllocator {
    using value_type = T;
    static constexpr size_t hugePage = size_t(2) << 20;

    PictureAllocator() = default;
    template <class U>
    PictureAllocator(const PictureAllocator<U> &) {}

    T *allocate(size_t count) {
        failResource("memory");
        size_t size = count * sizeof(T);
        if (size < hugePage) {
            if (void *block = std::malloc(size ? size : 1))
                return static_cast<T *>(block);
            throw std::bad_alloc();
        }
        size_t rounded = roundedSize(size);
        if (void *reused = reusePictureBlock(rounded))
            return static_cast<T *>(reused);
        void *block = std::aligned_alloc(hugePage, rounded);
        if (!block)
            throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(block, rounded, MADV_HUGEPAGE); // advice only: without it, plain pages
#endif
        return static_cast<T *>(block);
    }
    void deallocate(T *block, size_t count) {
        size_t size = count * sizeof(T);
        if (size < hugePage || !keepPictureBlock(block, roundedSize(size)))
            std::free(block);
    }
    static size_t roundedSize(size_t size) { return (size + hugePage - 1) / hugePage * hugePage; }

    template <class U>
    bool operator==(const PictureAllocator<U> &) const { return true; }
    template <class U>
    bool operator!=(const PictureAllocator<U> &) const { return false; }
};

using PictureBytes = std::vector<uint8_t, PictureAllocator<uint8_t>>;

struct Frame {
    PictureBytes bytes;
    uint64_t formatGeneration = 0; // which format's picture the bytes were prepared for
};

using FramePtr = std::shared_ptr<Frame>;

// Input side of a connection: receives each sample on the delivering thread.
class FrameSink {
public:
    virtual void receive(const FramePtr &frame) = 0;

protected:
    ~FrameSink() = default;
};

} // namespace platform
