// What a capture filter captures from: a source delivers samples on a thread
// of its own between start and stop, into frames that the filter lends it.
#pragma once

#include "dshow/frame.h"
#include "dshow/media_type.h"

#include <functional>
#include <string>
#include <thread>

namespace platform {

class SampleOutput {
public:
    // A frame that nobody downstream holds, to fill and deliver.
    virtual FramePtr takeFrame() = 0;
    virtual void deliver(const FramePtr &frame) = 0;
    // Whether something downstream reads every frame's pixels; where
    // nothing does, a source may deliver its device's own picture with what
    // converts it (Frame::holdDevicePicture).
    virtual bool readsEveryFrame() = 0;
    // The device went (unplugged, or its driver let go of it): no frame
    // will come. Said by the source on its delivery thread, which then ends,
    // or by a start that finds the device gone.
    virtual void deviceLost() = 0;

protected:
    ~SampleOutput() = default;
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Takes hold of the device when its filter joins a graph; fails when the
    // device is held elsewhere or gone.
    virtual HRESULT claim() { return S_OK; }
    virtual void unclaim() {}
    // Delivers samples of format to output until stop(), which joins the
    // delivering thread. Never called while started.
    virtual HRESULT start(const VideoFormat &format, SampleOutput &output) = 0;
    virtual void stop() = 0;
};

// Starts a source's delivery thread running deliver. A failure that escapes
// deliver (running out of memory) ends the thread and is said once, in one
// line on stderr naming source; the graph then delivers no more. Throws what
// the runtime throws when no thread can be had.
std::thread startDelivery(const std::string &source, std::function<void()> deliver);

// Copies top-down rows of B, G, R pixels into the layout that every source
// delivers: rows bottom-up, each padded with zeros to four bytes.
inline void copyRowsBottomUp(const uint8_t *topDown, size_t sourceStride, const VideoFormat &format, uint8_t *out) {
    size_t rowBytes = static_cast<size_t>(format.width) * 3, stride = format.stride();
    size_t height = static_cast<size_t>(format.height);
    for (size_t y = 0; y < height; ++y) {
        uint8_t *row = out + (height - 1 - y) * stride;
        std::memcpy(row, topDown + y * sourceStride, rowBytes);
        std::memset(row + rowBytes, 0, stride - rowBytes);
    }
}

} // namespace platform
