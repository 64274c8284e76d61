// Samples as they travel from a capture filter downstream. A frame belongs to
// its camera's pool; whoever holds a reference keeps the camera from writing
// into it, so a frame that has been delivered never changes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

struct Frame {
    std::vector<uint8_t> bytes;
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
