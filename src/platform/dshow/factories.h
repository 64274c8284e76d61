// Factories of the DirectShow objects: those that CoCreateInstance serves
// (through the class table, filled in class_table.cpp) and those that the
// platform makes for itself. Each returns a new object holding one reference
// for the caller.
#pragma once

#include "dshow/capture_device.h"

#include <quorin_platform/dshow.h>

namespace platform {

IUnknown *createFilterGraph();
IUnknown *createCaptureGraphBuilder();
IUnknown *createSampleGrabber();
IBaseFilter *createVideoRenderer();
IBaseFilter *createCaptureFilter(const DevicePtr &device);

} // namespace platform
