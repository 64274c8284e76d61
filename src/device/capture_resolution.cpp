// setresolution(width, height): writes the size into the capture pin's
// current format and rebuilds the graph around the same capture filter.
#include "device/device_methods.h"
#include "device/stream_config.h"
#include "graph/media_type.h"
#include "module/device_type.h"
#include "module/interpreter_lock.h"
#include "module/module_error.h"
#include "module/messages.h"

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

} // namespace

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
