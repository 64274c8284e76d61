#pragma once

#include "dshow/capture_device.h"
#include "dshow/frame_source.h"
#include "sources/virtual/frame_generator.h"

namespace platform {

// Samples of a virtual camera: rendered by a frame generator at the camera's
// rate, the first one first_frame_ms after start, with the bars as the
// camera's picture settings (which outlive the source) make them.
std::unique_ptr<FrameSource> createVirtualSource(const CameraDescription &camera, const PictureSettings &picture);

} // namespace platform
