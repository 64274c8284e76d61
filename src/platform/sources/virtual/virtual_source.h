#pragma once

#include "dshow/capture_device.h"
#include "dshow/frame_source.h"

#include <atomic>

namespace platform {

// Samples of a virtual camera: rendered by a frame generator at the camera's
// rate, the first one first_frame_ms after start, with the bars at the
// camera's brightness (which outlives the source).
std::unique_ptr<FrameSource> createVirtualSource(const CameraDescription &camera, const std::atomic<int> &brightness);

} // namespace platform
