// Factories of the classes that CoCreateInstance serves, and of the objects
// that the platform makes for itself. Each returns a new object holding one
// reference for the caller.
#pragma once

#include "device.h"

#include <quorin_platform/dshow.h>

namespace platform {

IUnknown *createFilterGraph();
IUnknown *createCaptureGraphBuilder();
IUnknown *createSystemDeviceEnum();
IUnknown *createSampleGrabber();
IBaseFilter *createVideoRenderer();

IEnumMoniker *createMonikerEnumerator(std::vector<DevicePtr> devices);
IMoniker *createDeviceMoniker(const DevicePtr &device);
IPropertyBag *createPropertyBag(const DevicePtr &device);
IBaseFilter *createCaptureFilter(const DevicePtr &device);

} // namespace platform
