#pragma once

#include "dshow/capture_device.h"
#include "dshow/frame_source.h"

namespace platform {

// Samples of a virtual camera: rendered by a frame generator at the camera's
// rate, the first one first_frame_ms after start.
std::unique_ptr<FrameSource> createVirtualSource(const CameraDescription &camera);

} // namespace platform
