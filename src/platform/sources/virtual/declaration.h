// The declaration of virtual cameras, as JSON text.
#pragma once

#include "dshow/capture_device.h"

#include <string>
#include <vector>

namespace platform {

// Parses one camera object (text of a JSON object) or the whole declaration
// (a JSON array). On error returns false and sets error to one line.
bool parseCamera(const std::string &json, CameraDescription &camera, std::string &error);
bool parseCameraList(const std::string &json, std::vector<CameraDescription> &cameras, std::string &error);

} // namespace platform
