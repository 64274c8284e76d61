// Samples as they travel from a capture filter downstream. A frame belongs to
// its camera's pool; whoever holds a reference keeps the camera from writing
// into it, so a frame that has been delivered never changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// Memory for pictures: blocks of 2 MB or more are aligned for huge pages and
// kept, when given back, for the next picture of their size (frame.cpp).
void *allocatePicture(size_t size);
void freePicture(void *block, size_t size);

template <class T>
struct PictureAllocator {
    using value_type = T;

    PictureAllocator() = default;
    template <class U>
    PictureAllocator(const PictureAllocator<U> &) {}

    T *allocate(size_t count) { return static_cast<T *>(allocatePicture(count * sizeof(T))); }
    void deallocate(T *block, size_t count) { freePicture(block, count * sizeof(T)); }

    template <class U>
    bool operator==(const PictureAllocator<U> &) const {
        return true;
    }
    template <class U>
    bool operator!=(const PictureAllocator<U> &) const {
        return false;
    }
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
    // The source upstream could not start (true) or has started (false): a
    // sink that waits for samples knows whether any will come.
    virtual void sourceFailed(bool failed) { (void)failed; }

protected:
    ~FrameSink() = default;
};

} // namespace platform
