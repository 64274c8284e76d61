// getbuffer(): runs the graph and returns a copy of the latest sample.
#include "device/device_methods.h"
#include "graph/media_type.h"
#include "module/device_type.h"
#include "module/module_error.h"

namespace {

// Waits of 100 ms for the first sample. Real cameras deliver their first
// frame within a few seconds of starting (exposure and bandwidth settle
// first); ten seconds is never reached by a working device.
const int firstSampleWaits = 100;

// The size argument of GetCurrentBuffer is a long, 32 bits on Windows.
const DWORD largestFrame = 0x7FFFFFFF;

const char *const connectedTypeFailure = "Getting the sample grabber's connected media type failed.";

const char *bufferFailure(HRESULT hr) {
    switch (hr) {
    case E_POINTER:
        return "Getting the sample grabber's current buffer failed (NULL pointer argument).";
    case VFW_E_NOT_CONNECTED:
        return "Getting the sample grabber's current buffer failed (The filter is not connected).";
    case E_INVALIDARG:
        return "Getting the sample grabber's current buffer failed (Samples are not being buffered).";
    case VFW_E_WRONG_STATE:
        return "No frame arrived from the device within 10 seconds.";
    default:
        return "UNKNOWN CASE!!";
    }
}

} // namespace

PyObject *getbuffer(PyObject *self, PyObject *) {
    DeviceRecord *record = recordOf(self);
    if (!requireGraph(record))
        return nullptr;

    AM_MEDIA_TYPE connected;
    std::memset(&connected, 0, sizeof connected);
    if (FAILED(record->sampleGrabber->GetConnectedMediaType(&connected)))
        return raiseModuleError(connectedTypeFailure);
    const VIDEOINFOHEADER *header = videoInfoHeader(&connected);
    DWORD imageSize = header ? header->bmiHeader.biSizeImage : 0;
    LONG width = header ? header->bmiHeader.biWidth : 0;
    LONG height = header ? header->bmiHeader.biHeight : 0;
    freeMediaTypeContents(&connected);
    // The grabber only connects with a VIDEOINFOHEADER; anything else, or a
    // size that the size argument cannot carry, is not a frame to copy.
    if (!header || imageSize > largestFrame)
        return raiseModuleError(connectedTypeFailure);

    auto *buffer = static_cast<char *>(PyMem_Malloc(imageSize));
    if (!buffer)
        return PyErr_NoMemory();

    record->mediaControl->Run();
    long size = static_cast<long>(imageSize);
    HRESULT hr = record->sampleGrabber->GetCurrentBuffer(&size, reinterpret_cast<long *>(buffer));
    for (int waits = 0; hr == VFW_E_WRONG_STATE && waits < firstSampleWaits; ++waits) {
        Sleep(100);
        hr = record->sampleGrabber->GetCurrentBuffer(&size, reinterpret_cast<long *>(buffer));
    }

    PyObject *result = nullptr;
    if (FAILED(hr))
        raiseModuleError(bufferFailure(hr));
    else if (size < 0 || size > static_cast<long>(imageSize))
        raiseModuleError("The sample grabber reported more bytes than the frame holds.");
    else
        result = Py_BuildValue("(y#,l,l)", buffer, static_cast<Py_ssize_t>(size), static_cast<long>(width),
                               static_cast<long>(height));
    PyMem_Free(buffer);
    return result;
}
