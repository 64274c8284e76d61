// Video capture devices of the system, through Video4Linux2: every node
// /dev/videoN that can capture video is a device of the video input
// category, listed in the order of N.
#pragma once

#include "dshow/capture_device.h"

namespace platform {

// Appends the system's capture devices, unless tests turned them off.
void listV4l2Devices(std::vector<DevicePtr> &devices);

// Whether enumeration lists the system's devices (on by default).
void useSystemDevices(bool on);

} // namespace platform
