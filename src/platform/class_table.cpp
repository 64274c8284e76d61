// The class table of the COM runtime: every class that CoCreateInstance
// serves, from the layers above it; and the interfaces that their
// QueryInterface counts by name ("QueryInterface:IBaseFilter").
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

const InterfaceName interfaceNames[] = {
    {&IID_IUnknown, "IUnknown"},
    {&IID_IDispatch, "IDispatch"},
    {&IID_IPersist, "IPersist"},
    {&IID_IMediaFilter, "IMediaFilter"},
    {&IID_IBaseFilter, "IBaseFilter"},
    {&IID_IFilterGraph, "IFilterGraph"},
    {&IID_IGraphBuilder, "IGraphBuilder"},
    {&IID_IMediaControl, "IMediaControl"},
    {&IID_IMediaEvent, "IMediaEvent"},
    {&IID_IMediaEventEx, "IMediaEventEx"},
    {&IID_IVideoWindow, "IVideoWindow"},
    {&IID_ICaptureGraphBuilder2, "ICaptureGraphBuilder2"},
    {&IID_IEnumMoniker, "IEnumMoniker"},
    {&IID_IMoniker, "IMoniker"},
    {&IID_ICreateDevEnum, "ICreateDevEnum"},
    {&IID_IPropertyBag, "IPropertyBag"},
    {&IID_ISampleGrabber, "ISampleGrabber"},
    {&IID_IAMStreamConfig, "IAMStreamConfig"},
    {&IID_ISpecifyPropertyPages, "ISpecifyPropertyPages"},
};
const size_t interfaceNameCount = sizeof interfaceNames / sizeof interfaceNames[0];

} // namespace platform
