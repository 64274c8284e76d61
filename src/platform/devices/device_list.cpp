#include "devices/device_list.h"

#include "sources/v4l2/v4l2_devices.h"
#include "sources/virtual/virtual_camera.h"

namespace platform {

bool listVideoInputDevices(std::vector<DevicePtr> &devices, std::string &error) {
    devices.clear();
    listV4l2Devices(devices);
    return listVirtualCameras(devices, error);
}

} // namespace platform
