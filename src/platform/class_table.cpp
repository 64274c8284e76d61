// The class table of the COM runtime: every class that CoCreateInstance
// serves, from the layers above it.
#include "com/class_table.h"
#include "devices/factories.h"
#include "dshow/factories.h"

namespace platform {

const ClassEntry classTable[] = {
    {&CLSID_FilterGraph, createFilterGraph},
    {&CLSID_CaptureGraphBuilder2, createCaptureGraphBuilder},
    {&CLSID_SystemDeviceEnum, createSystemDeviceEnum},
    {&CLSID_SampleGrabber, createSampleGrabber},
};
const size_t classCount = sizeof classTable / sizeof classTable[0];

} // namespace platform
