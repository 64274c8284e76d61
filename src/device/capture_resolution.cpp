// setresolution(width, height): writes the size into the capture pin's
// current format and rebuilds the graph around the same capture filter.
// getresolutions(): the sizes the pin's capabilities offer.
#include "device/device_methods.h"
#include "device/stream_config.h"
#include "graph/media_type.h"
#include "module/device_type.h"
#include "module/interpreter_lock.h"
#include "module/module_error.h"
#include "module/messages.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// Writes the size into the pin's format and rebuilds: null, or the failure.
const char *changeResolution(DeviceRecord *record, int width, int height) {
    record->mediaControl->Stop();
    ComRef<IAMStreamConfig> config;
    if (!findStreamConfig(record, config))
        return message::resolutionNotSet;

    const char *failure = message::resolutionNotSet;
    bool changed = false;
    AM_MEDIA_TYPE *format = nullptr;
    if (config->GetFormat(&format) == S_OK && format) {
        VIDEOINFOHEADER *header = videoInfoHeader(format);
        if (header) {
            header->bmiHeader.biWidth = width;
            header->bmiHeader.biHeight = height;
            if (config->SetFormat(format) == S_OK)
                changed = true;
            else
                failure = message::resolutionRefused;
        } else {
            failure = message::formatNotQueried;
        }
        discardMediaType(format);
    }
    config.reset();

    if (!changed)
        return failure;
    if (rebuildGraph(record))
        return message::rebuildAfterResolutionFailed;
    return nullptr;
}

using Size = std::pair<long, long>;

// The picture's header in either of the video formats a pin offers.
const BITMAPINFOHEADER *bitmapHeader(const AM_MEDIA_TYPE *type) {
    if (const VIDEOINFOHEADER *header = videoInfoHeader(type))
        return &header->bmiHeader;
    if (IsEqualGUID(type->formattype, FORMAT_VideoInfo2) && type->pbFormat &&
        type->cbFormat >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<const VIDEOINFOHEADER2 *>(type->pbFormat)->bmiHeader;
    return nullptr;
}

// The sizes of the pin's capabilities in their order, each once: false when
// the pin cannot tell them.
bool offeredSizes(DeviceRecord *record, std::vector<Size> &sizes) {
    ComRef<IAMStreamConfig> config;
    int count = 0, capsSize = 0;
    if (!findStreamConfig(record, config) || config->GetNumberOfCapabilities(&count, &capsSize) != S_OK || count < 0 ||
        capsSize < 0)
        return false;
    // The capabilities' record, as large as the pin says it writes (a
    // driver's may be larger than the SDK's).
    std::vector<BYTE> caps(std::max<size_t>(static_cast<size_t>(capsSize), sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE *type = nullptr;
        if (config->GetStreamCaps(i, &type, caps.data()) != S_OK || !type) {
            discardMediaType(type);
            continue;
        }
        // Formats without a video header (another stream's) have no size.
        if (const BITMAPINFOHEADER *header = bitmapHeader(type)) {
            Size size{header->biWidth, std::labs(header->biHeight)};
            bool seen = false;
            for (const Size &s : sizes)
                seen = seen || s == size;
            if (!seen)
                sizes.push_back(size);
        }
        discardMediaType(type);
    }
    return true;
}

} // namespace

PyObject *getresolutions(PyObject *self, PyObject *args) {
    if (!PyArg_ParseTuple(args, ":getresolutions"))
        return nullptr;
    DeviceRecord *record = recordOf(self);
    if (!requireGraph(record))
        return nullptr;
    std::vector<Size> sizes;
    if (!withoutInterpreterLock([&] { return offeredSizes(record, sizes); }))
        return raiseModuleError(message::sizesNotQueried);
    PyObject *list = PyList_New(0);
    if (!list)
        return nullptr;
    for (const Size &size : sizes) {
        PyObject *item = Py_BuildValue("(ll)", size.first, size.second);
        if (!item || PyList_Append(list, item) != 0) {
            Py_XDECREF(item);
            Py_DECREF(list);
            return nullptr;
        }
        Py_DECREF(item);
    }
    return list;
}

PyObject *setresolution(PyObject *self, PyObject *args) {
    int width, height;
    if (!PyArg_ParseTuple(args, "ii:newDev", &width, &height))
        return nullptr;
    DeviceRecord *record = recordOf(self);
    if (!requireGraph(record))
        return nullptr;
    // Stopping and starting the graph joins threads: without the lock.
    const char *failure = withoutInterpreterLock([&] { return changeResolution(record, width, height); });
    if (failure)
        return raiseModuleError(failure);
    Py_RETURN_NONE;
}
