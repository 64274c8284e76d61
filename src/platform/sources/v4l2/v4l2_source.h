#pragma once

#include "dshow/frame_source.h"

#include <memory>
#include <string>

namespace platform {

// Samples of a V4L2 capture node: streamed with memory-mapped buffers on a
// thread that waits with poll, in the format with the highest rate at the
// size asked (v4l2_modes.h), and converted to B, G, R rows bottom-up
// (v4l2_conversion.h): when a caller takes a frame, where nothing
// downstream reads every frame, else as each arrives. The node is opened when
// the filter joins a graph and held until it leaves: by one filter of the
// process, with record priority against other processes (a node that
// another process holds or streams from answers busy).
std::unique_ptr<FrameSource> createV4l2Source(const std::string &path);

// Another descriptor of the file a source of this process holds path by,
// sharing its priority, or -1 when none holds it.
int duplicateClaimedFile(const std::string &path);

// The format that capture sources ask their device for first (a fourcc such
// as "YUYV"), or null for the platform's own choice; for tests and
// benchmarks.
void requestDeviceFormat(const char *fourcc);

} // namespace platform
