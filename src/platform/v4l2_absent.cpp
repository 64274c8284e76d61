// Systems without Video4Linux2 have virtual cameras only.
#include "v4l2_devices.h"

namespace platform {

void listV4l2Devices(std::vector<DevicePtr> &) {}
void useSystemDevices(bool) {}

} // namespace platform

extern "C" void quorin_platform_use_system_devices(int) {}
extern "C" void quorin_platform_v4l2_device_format(const char *) {}
