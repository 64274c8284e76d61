#pragma once

#include "dshow/frame_source.h"

#include <memory>
#include <string>

namespace platform {

// Samples of a V4L2 capture node: streamed with memory-mapped buffers on a
// thread that waits with poll, converted by libv4lconvert from whatever the
// device delivers to B, G, R, flipped and padded in the one copy into the
// sample. The node is opened when the filter joins a graph (a node that
// another process streams from answers busy) and closed when it leaves.
std::unique_ptr<FrameSource> createV4l2Source(const std::string &path);

// The format that capture sources ask their device for first (a fourcc such
// as "YUYV"), or null for the platform's own choice; for tests and
// benchmarks.
void requestDeviceFormat(const char *fourcc);

} // namespace platform
