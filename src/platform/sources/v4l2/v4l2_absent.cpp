// Systems without Video4Linux2 have virtual cameras only.
#include "sources/v4l2/v4l2_devices.h"
#include "sources/v4l2/v4l2_source.h"

namespace platform {

void listV4l2Devices(std::vector<DevicePtr> &) {}
void useSystemDevices(bool) {}
void requestDeviceFormat(const char *) {}

} // namespace platform
