// getbuffer(): runs the graph and returns a copy of the latest sample.
#include "common/com_ref.h"
#include "device/device_methods.h"
#include "device/frame_arrival.h"
#include "graph/media_type.h"
#include "module/device_type.h"
#include "module/interpreter_lock.h"
#include "module/module_error.h"
#include "module/messages.h"

namespace {

// The wait for the first sample: for at most 10 seconds of the clock. Real
// cameras deliver their first frame within a few seconds of starting
// (exposure and bandwidth settle first); ten seconds is never reached by a
// working device. Where no callback can be set, the grabber is asked again
// every 10 ms.
const DWORD firstSampleLimitMs = 10000;
const DWORD longestStepMs = 10;

// The size argument of GetCurrentBuffer is a long, 32 bits on Windows.
const DWORD largestFrame = 0x7FFFFFFF;

// Reads the graph's events without waiting and remembers a lost device: a
// capture filter whose device is unplugged says EC_DEVICE_LOST there, while
// the grabber goes on answering with the last sample it had. A graph that
// has no event queue (events null) has said nothing.
bool deviceWasLost(DeviceRecord *record, IMediaEventEx *events) {
    if (record->deviceLost || !events)
        return record->deviceLost;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
        // The second parameter is 0 for a device gone, 1 for one come back.
        if (code == EC_DEVICE_LOST && second == 0)
            record->deviceLost = true;
        events->FreeEventParams(code, first, second);
    }
    return record->deviceLost;
}

const char *bufferFailure(HRESULT hr) {
    switch (hr) {
    case E_POINTER:
        return message::bufferNullPointer;
    case VFW_E_NOT_CONNECTED:
        return message::bufferNotConnected;
    case E_INVALIDARG:
        return message::bufferNotBuffering;
    case VFW_E_WRONG_STATE:
        return message::noFrameInTime;
    default:
        return message::bufferUnknownFailure;
    }
}

// Runs the graph and copies the latest sample into buffer (*size bytes),
// waiting for the first; lost is set when the device went. A device that
// went keeps its last sample in the grabber: that old frame must never be
// given as the latest. Nor must the sample a graph kept from before a stop
// (a method that stopped it, then failed before rebuilding it): a graph
// that is not running starts a run of its own here, and waits for a sample
// of that run. The wait sleeps until a sample arrives (the grabber's
// callback sets arrival's event) or the graph has an event to read (a
// device lost), for 10 s at most; without either event it looks again
// every few milliseconds.
HRESULT grabInto(DeviceRecord *record, FrameArrival *&arrival, long *buffer, long *size, bool *lost) {
    OAFilterState state = State_Stopped;
    const bool starting = FAILED(record->mediaControl->GetState(0, &state)) || state != State_Running;
    record->mediaControl->Run();
    ComRef<IMediaEventEx> events;
    if (!record->deviceLost)
        record->filterGraph->QueryInterface(IID_IMediaEventEx, events.voidOut());
    *lost = deviceWasLost(record, events.get());
    // A graph just started has a sample of its own run once the callback
    // says one arrived (without a callback, there is no telling); until
    // then a sample the grabber gives is an earlier run's: none yet. Its
    // failures (a source that cannot start) are said at once.
    bool ownSample = !starting;
    const long capacity = *size;
    auto take = [&] {
        *size = capacity;
        HRESULT taken = record->sampleGrabber->GetCurrentBuffer(size, buffer);
        return taken == S_OK && !ownSample ? VFW_E_WRONG_STATE : taken;
    };
    HRESULT hr = *lost ? VFW_E_WRONG_STATE : take();
    if (hr != VFW_E_WRONG_STATE || *lost)
        return hr;

    // Only a wait needs the graph's event handle: a running graph's frame is
    // taken above without it.
    HANDLE graphEvent = nullptr;
    OAEVENT handle = 0;
    if (events && SUCCEEDED(events->GetEventHandle(&handle)))
        graphEvent = reinterpret_cast<HANDLE>(handle);

    if (!arrival)
        arrival = FrameArrival::create();
    bool called = false;
    if (arrival) {
        ResetEvent(arrival->event());
        called = SUCCEEDED(record->sampleGrabber->SetCallback(arrival, 0));
    }
    HANDLE wakers[2];
    DWORD count = 0;
    if (called)
        wakers[count++] = arrival->event();
    if (graphEvent)
        wakers[count++] = graphEvent;
    ownSample = ownSample || !called;
    // Unsigned differences stay right when the tick count wraps around.
    const DWORD started = GetTickCount();
    for (;;) {
        // A sample that came before the callback was in place is taken here.
        hr = take();
        const DWORD waited = GetTickCount() - started;
        if (hr != VFW_E_WRONG_STATE || waited >= firstSampleLimitMs)
            break;
        const DWORD left = firstSampleLimitMs - waited;
        const DWORD slice = called ? left : (left < longestStepMs ? left : longestStepMs);
        const DWORD woke = count == 0 ? WAIT_FAILED : WaitForMultipleObjects(count, wakers, FALSE, slice);
        if (woke == WAIT_FAILED)
            Sleep(slice);
        else if (called && woke == WAIT_OBJECT_0)
            ownSample = true;
        if ((*lost = deviceWasLost(record, events.get())))
            break;
    }
    if (called)
        record->sampleGrabber->SetCallback(nullptr, 0);
    return hr;
}

} // namespace

PyObject *getbuffer(PyObject *self, PyObject *) {
    DeviceRecord *record = recordOf(self);
    if (!requireGraph(record))
        return nullptr;

    AM_MEDIA_TYPE connected;
    std::memset(&connected, 0, sizeof connected);
    if (FAILED(record->sampleGrabber->GetConnectedMediaType(&connected)))
        return raiseModuleError(message::connectedTypeUnknown);
    const VIDEOINFOHEADER *header = videoInfoHeader(&connected);
    DWORD imageSize = header ? header->bmiHeader.biSizeImage : 0;
    LONG width = header ? header->bmiHeader.biWidth : 0;
    LONG height = header ? header->bmiHeader.biHeight : 0;
    freeMediaTypeContents(&connected);
    // The grabber only connects with a VIDEOINFOHEADER; anything else, or a
    // size that the size argument cannot carry, is not a frame to copy.
    if (!header || imageSize > largestFrame)
        return raiseModuleError(message::connectedTypeUnknown);

    // The grabber copies the sample straight into the byte string that the
    // caller receives: one copy per frame. The string is made at the
    // connected size and cut to what the grabber reports.
    PyObject *bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(imageSize));
    if (!bytes)
        return nullptr;
    long *buffer = reinterpret_cast<long *>(PyBytes_AsString(bytes));

    // Running the graph starts threads, and the first frame may take
    // seconds: both without the interpreter's lock, the string's memory
    // being this call's alone until it returns.
    long size = static_cast<long>(imageSize);
    bool lost = false;
    FrameArrival *&arrival = reinterpret_cast<DevObject *>(self)->frameArrival;
    HRESULT hr = withoutInterpreterLock([&] { return grabInto(record, arrival, buffer, &size, &lost); });
    if (lost) {
        Py_DECREF(bytes);
        return raiseModuleError(message::deviceDisconnected);
    }

    // Only S_OK says that the grabber wrote the frame. With any other code,
    // a success among them, the string holds whatever the allocator left in
    // that memory, which must never reach the caller.
    if (hr != S_OK) {
        Py_DECREF(bytes);
        return raiseModuleError(bufferFailure(hr));
    }
    if (size < 0 || size > static_cast<long>(imageSize)) {
        Py_DECREF(bytes);
        return raiseModuleError(message::bufferOverreported);
    }
    // A frame shorter than its connected size (a grabber that reports less)
    // is copied once more, into a string of its own length: the stable ABI
    // cannot shrink a string in place.
    if (size != static_cast<long>(imageSize)) {
        PyObject *shorter = PyBytes_FromStringAndSize(reinterpret_cast<const char *>(buffer), size);
        Py_DECREF(bytes);
        if (!shorter)
            return nullptr;
        bytes = shorter;
    }
    // "N" hands the string's reference to the tuple (and drops it if the
    // tuple cannot be made).
    return Py_BuildValue("(N,l,l)", bytes, static_cast<long>(width), static_cast<long>(height));
}
