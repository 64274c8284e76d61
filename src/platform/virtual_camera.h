// Virtual cameras: devices described as data. A camera is declared in the
// QUORIN_VIRTUAL_CAMERAS environment variable (read at every enumeration) or
// added at run time through the control surface.
#pragma once

#include "device.h"

namespace platform {

// Parses one camera object (text of a JSON object) or the whole declaration
// (a JSON array). On error returns false and sets error to one line.
bool parseCamera(const std::string &json, CameraDescription &camera, std::string &error);
bool parseCameraList(const std::string &json, std::vector<CameraDescription> &cameras, std::string &error);

// Appends the declared cameras, then those added at run time. False, with
// error set, when the declaration is malformed. The same camera yields the
// same Device while its declaration stays the same.
bool listVirtualCameras(std::vector<DevicePtr> &devices, std::string &error);

void addRuntimeCamera(const CameraDescription &camera);
int removeRuntimeCameras(const std::string &name);
void clearRuntimeCameras();

} // namespace platform
