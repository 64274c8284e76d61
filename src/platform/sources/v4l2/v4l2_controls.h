#pragma once

#include "dshow/device_controls.h"

#include <memory>
#include <string>

namespace platform {

// The user and camera controls of the V4L2 node at path, read with
// VIDIOC_QUERY_EXT_CTRL and set with VIDIOC_S_CTRL through a file of their
// own. Null, with error set, when the node cannot be opened.
std::unique_ptr<DeviceControls> openV4l2Controls(const std::string &path, std::string &error);

} // namespace platform
