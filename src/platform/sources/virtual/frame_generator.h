// Frame generators make the pictures of virtual cameras. A generator is told
// the format once, then renders each sample into a frame of the camera's
// pool; a frame it has rendered before for the same format keeps everything
// that does not change between samples, so only that needs writing.
#pragma once

#include "dshow/frame.h"
#include "dshow/media_type.h"

#include <atomic>
#include <memory>

namespace platform {

class FrameGenerator {
public:
    virtual ~FrameGenerator() = default;
    virtual void setFormat(const VideoFormat &format) = 0;
    // frame.bytes is resized and filled as needed.
    virtual void render(Frame &frame, uint64_t sequence) = 0;
};

// The bars' brightness runs from 0 (black) to this, where every bar has its
// full colour.
constexpr int maximumBrightness = 255;

// What a virtual camera's settings do to its picture. They may change while
// samples are made, and outlive the generator.
struct PictureSettings {
    // The dialog's brightness of a camera that declares no controls: the
    // bars' colours scaled from 0 (black) to maximumBrightness (themselves).
    std::atomic<int> scale{maximumBrightness};
    // A declared brightness: its value less its default, added to every
    // channel of the bars (each kept within 0 to 255).
    std::atomic<int> offset{0};
};

// Eight vertical colour bars above a strip of 32 cells that shows the
// sample's sequence number in binary, most significant bit on the left. The
// bars follow the picture settings; the strip does not.
std::unique_ptr<FrameGenerator> createColourBars(const PictureSettings &picture);

} // namespace platform
