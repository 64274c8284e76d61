// Frame generators make the pictures of virtual cameras. A generator is told
// the format once, then renders each sample into a frame of the camera's
// pool; a frame it has rendered before for the same format keeps everything
// that does not change between samples, so only that needs writing.
#pragma once

#include "dshow/frame.h"
#include "dshow/media_type.h"

#include <memory>

namespace platform {

class FrameGenerator {
public:
    virtual ~FrameGenerator() = default;
    virtual void setFormat(const VideoFormat &format) = 0;
    // frame.bytes is resized and filled as needed.
    virtual void render(Frame &frame, uint64_t sequence) = 0;
};

// Eight vertical colour bars above a strip of 32 cells that shows the
// sample's sequence number in binary, most significant bit on the left.
std::unique_ptr<FrameGenerator> createColourBars();

} // namespace platform
