// Factories of the device enumeration's objects. Each returns a new object
// holding one reference for the caller.
#pragma once

#include "dshow/capture_device.h"

#include <quorin_platform/dshow.h>

#include <vector>

namespace platform {

IUnknown *createSystemDeviceEnum();
IEnumMoniker *createMonikerEnumerator(std::vector<DevicePtr> devices);
IMoniker *createDeviceMoniker(const DevicePtr &device);
IPropertyBag *createPropertyBag(const DevicePtr &device);

} // namespace platform
