// Virtual cameras: devices described as data. A camera is declared in the
// QUORIN_VIRTUAL_CAMERAS environment variable (read at every enumeration) or
// added at run time through the control surface.
#pragma once

#include "dshow/capture_device.h"
#include "sources/virtual/declaration.h"

namespace platform {

// Appends the declared cameras, then those added at run time. False, with
// error set, when the declaration is malformed. The same camera yields the
// same Device while its declaration stays the same.
bool listVirtualCameras(std::vector<DevicePtr> &devices, std::string &error);

void addRuntimeCamera(const CameraDescription &camera);
int removeRuntimeCameras(const std::string &name);
void clearRuntimeCameras();

} // namespace platform
