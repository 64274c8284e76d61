#pragma once

#include "dshow/camera_settings.h"

#include <memory>
#include <string>

namespace platform {

// The V4L2 node's controls as DirectShow's settings, mapped as Windows' own
// UVC driver presents the same camera's controls (the table and its units
// are in v4l2_settings.cpp and the reference). Null when the node cannot be
// opened.
std::unique_ptr<CameraSettings> openV4l2Settings(const std::string &path);

} // namespace platform
