// Samples as they travel from a capture filter downstream. A frame belongs to
// its camera's pool; whoever holds a reference keeps the camera from writing
// into it, so a frame that has been delivered never changes.
#pragma once

#include "common/locking.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <atomic>
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

// What turns a frame still in its device's format into the picture: called
// on whichever thread reads the frame, for as long as a frame holds it, so it
// keeps no state of its own between calls and needs no device.
class PictureConverter {
public:
    virtual ~PictureConverter() = default;
    // Writes the picture of raw (rawBytes long) into out, pictureSize()
    // bytes; false when the picture is damaged.
    virtual bool convert(const uint8_t *raw, size_t rawBytes, uint8_t *out) const = 0;
    virtual size_t pictureSize() const = 0;
};

// Where a frame's device picture lives when its bytes do not hold it: a
// driver's buffer lent to the frame until the frame lets go of it.
class HeldPicture {
public:
    virtual ~HeldPicture() = default;
    // Calls use with the picture's bytes, which stay valid until it returns.
    virtual bool read(const std::function<bool(const uint8_t *, size_t)> &use) const = 0;
};

// A sample: its picture (B, G, R rows bottom-up, padded), or, where nobody
// downstream reads every frame's pixels, the device's own picture and what
// converts it, so that only the frames a caller takes are converted. The
// deliverer fills it; once delivered it changes no more, but for the
// picture a second take converts into it once (see readInto).
struct Frame {
    PictureBytes bytes;            // the picture, or the device's with a converter
    uint64_t formatGeneration = 0; // which format's picture the bytes were prepared for

    // The deliverer says what the frame holds: a picture in bytes (no
    // converter), or the device's picture that converter turns into one, in
    // bytes or, given held, in a buffer of the device's.
    void holdDevicePicture(std::shared_ptr<const PictureConverter> converter,
                           std::shared_ptr<const HeldPicture> held = nullptr);
    // Lets go of what the frame holds besides its bytes (back in its pool).
    void letGo() { holdDevicePicture(nullptr); }
    bool holdsDevicePicture() const { return converter_ != nullptr; }

    size_t pictureSize() const { return converter_ ? converter_->pictureSize() : bytes.size(); }
    // Writes the picture into out, pictureSize() bytes; false when a device
    // picture fails to convert. The first take of a device picture converts
    // straight into out; a frame taken again (a caller faster than the
    // camera) is converted once more into memory of its own and copied from
    // there on, so a picture is decoded at most twice however often taken.
    bool readInto(uint8_t *out) const;

private:
    bool convert(uint8_t *out) const;

    std::shared_ptr<const PictureConverter> converter_;
    std::shared_ptr<const HeldPicture> held_;
    mutable std::atomic<long> takes_{0};
    // The picture of a frame taken more than once, converted once under its
    // lock (no allocation per delivered frame, as a once_flag would need).
    mutable quorin::Mutex converting_;
    mutable bool convertedTried_ GUARDED_BY(converting_) = false;
    mutable PictureBytes converted_ GUARDED_BY(converting_);
    mutable bool convertedWhole_ GUARDED_BY(converting_) = false;
};

using FramePtr = std::shared_ptr<Frame>;

// Input side of a connection: receives each sample on the delivering thread.
class FrameSink {
public:
    virtual void receive(const FramePtr &frame) = 0;
    // The source upstream could not start (true) or has started (false): a
    // sink that waits for samples knows whether any will come.
    virtual void sourceFailed(bool failed) { (void)failed; }
    // Whether the sink reads the pixels of every frame it receives (a
    // window that draws them); asked for each frame, on the delivering
    // thread. A sink that only keeps frames for a caller to take reads none.
    virtual bool readsEveryFrame() { return false; }

protected:
    ~FrameSink() = default;
};

} // namespace platform
