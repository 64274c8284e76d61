// The devices of the video input category, in enumeration order: capture
// devices of the system, then virtual cameras.
#pragma once

#include "dshow/capture_device.h"

#include <string>
#include <vector>

namespace platform {

// False, with error set to one line, when the virtual cameras' declaration
// is malformed.
bool listVideoInputDevices(std::vector<DevicePtr> &devices, std::string &error);

} // namespace platform
