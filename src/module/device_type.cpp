#include "module/device_type.h"

#include "device/device_methods.h"
#include "device/frame_arrival.h"
#include "module/com_thread.h"
#include "module/diagnostics.h"
#include "module/interpreter_lock.h"
#include "module/module_error.h"
#include "module/messages.h"

#include <pythread.h>

namespace {

// Holds a device's call lock for one call, waiting for it (as _bz2's
// objects do) without the interpreter's lock when another thread has it.
class DeviceCall {
public:
    explicit DeviceCall(PyObject *self) : lock_(reinterpret_cast<DevObject *>(self)->callLock) {
        if (lock_ && !PyThread_acquire_lock(lock_, NOWAIT_LOCK))
            withoutInterpreterLock([&] { return PyThread_acquire_lock(lock_, WAIT_LOCK); });
    }
    ~DeviceCall() {
        if (lock_)
            PyThread_release_lock(lock_);
    }
    DeviceCall(const DeviceCall &) = delete;
    DeviceCall &operator=(const DeviceCall &) = delete;

private:
    PyThread_type_lock lock_;
};

// Every method of Dev: COM on the calling thread, then the call, alone on
// its device. A Dev inherited through fork() is refused before either: a
// lock that a thread of the parent held at the fork (this Dev's, COM's)
// never comes free in the child.
template <PyObject *(*method)(PyObject *, PyObject *)>
PyObject *lockedCall(PyObject *self, PyObject *args) {
    if (inheritedFromParent(recordOf(self)))
        return raiseModuleError(message::deviceOfParent);
    if (!comOnThisThread())
        return nullptr;
    lendEnvironment();
    DeviceCall call(self);
    return method(self, args);
}

// What the call said is logged once the device's lock is let go: a handler
// may call the same Dev.
template <PyObject *(*method)(PyObject *, PyObject *)>
PyObject *deviceMethod(PyObject *self, PyObject *args) {
    return thenLogged<lockedCall<method>>(self, args);
}

PyDoc_STRVAR(displaypropertypage_doc, "displaypropertypage() -> None\n\n"
                                      "Deprecated: warns in a message box, then shows the capture filter's property\n"
                                      "pages and rebuilds the graph.");
PyDoc_STRVAR(displaycapturefilterproperties_doc,
             "displaycapturefilterproperties() -> None\n\n"
             "Shows the capture filter's property pages, then rebuilds the graph so that\n"
             "the changes apply. Other Python threads run while the dialog is open.");
PyDoc_STRVAR(displaycapturepinproperties_doc,
             "displaycapturepinproperties() -> None\n\n"
             "Shows the capture pin's property pages, then rebuilds the graph so that the\n"
             "changes apply. Other Python threads run while the dialog is open.");
PyDoc_STRVAR(getdisplayname_doc, "getdisplayname() -> str\n\n"
                                 "The device's friendly name.");
PyDoc_STRVAR(setresolution_doc, "setresolution(width, height) -> None\n\n"
                                "Changes the capture size to one the device offers and rebuilds the graph.\n"
                                "Raises error when the device refuses the size.");
PyDoc_STRVAR(getbuffer_doc, "getbuffer() -> (bytes, width, height)\n\n"
                            "The latest frame: 24-bit RGB bytes (rows bottom-up, B, G, R, rows padded to\n"
                            "four bytes), its width and its height. The first call starts the device and\n"
                            "waits up to 10 s for its first frame, without the interpreter's lock.\n"
                            "Raises error(\"The capture device was disconnected.\") once the device is\n"
                            "unplugged (and on every later call), never an old frame.");

PyDoc_STRVAR(getresolutions_doc, "getresolutions() -> list of (width, height)\n\n"
                                 "The sizes the capture pin offers, in the device's order, each once: the\n"
                                 "sizes setresolution() accepts.");
PyDoc_STRVAR(getcontrols_doc, "getcontrols() -> dict\n\n"
                              "The device's settings by name (\"brightness\", \"exposure\", ...): each a dict of\n"
                              "\"value\", \"minimum\", \"maximum\", \"step\" and \"default\" (ints, in DirectShow's\n"
                              "units) and \"auto\" (True or False where the device can run the setting\n"
                              "itself, else None). Only what the device offers.");
PyDoc_STRVAR(setcontrol_doc, "setcontrol(name, value) -> None\n\n"
                             "Sets a setting by hand to the int value, or with value \"auto\" hands it to\n"
                             "the device's automatic mode. Applies at once, running or not, without\n"
                             "rebuilding the graph. Raises error when the device has no such setting,\n"
                             "the value is outside its range, it has no automatic mode, or the device\n"
                             "refuses; the setting is then as it was.");

PyMethodDef devMethods[] = {
    {"displaypropertypage", deviceMethod<displaypropertypage>, METH_VARARGS, displaypropertypage_doc},
    {"displaycapturefilterproperties", deviceMethod<displaycapturefilterproperties>, METH_VARARGS,
     displaycapturefilterproperties_doc},
    {"displaycapturepinproperties", deviceMethod<displaycapturepinproperties>, METH_VARARGS,
     displaycapturepinproperties_doc},
    {"getdisplayname", deviceMethod<getdisplayname>, METH_VARARGS, getdisplayname_doc},
    {"setresolution", deviceMethod<setresolution>, METH_VARARGS, setresolution_doc},
    {"getbuffer", deviceMethod<getbuffer>, METH_VARARGS, getbuffer_doc},
    {"getresolutions", deviceMethod<getresolutions>, METH_VARARGS, getresolutions_doc},
    {"getcontrols", deviceMethod<getcontrols>, METH_VARARGS, getcontrols_doc},
    {"setcontrol", deviceMethod<setcontrol>, METH_VARARGS, setcontrol_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(dev_doc, "One open capture device; made by new_Dev().\n\n"
                      "A Dev may be used from any thread, one call at a time: a second thread\n"
                      "calling the same Dev waits for the first; different devices run in\n"
                      "parallel. A Dev belongs to the process that opened it: in a child made by\n"
                      "os.fork() every method raises error, and dropping it there leaves the\n"
                      "parent's capture alone.");

void devDealloc(PyObject *self) {
    DevObject *dev = reinterpret_cast<DevObject *>(self);
    // Another process's references are left alone: releasing them would
    // stop its stream and join threads that do not exist here. Stopping
    // joins threads: without the interpreter's lock, and with COM on this
    // thread (the last reference may go on any thread).
    if (!inheritedFromParent(&dev->record) && comUsableHere()) {
        withoutInterpreterLock([&] {
            releaseAll(&dev->record);
            return 0;
        });
    }
    if (dev->frameArrival)
        dev->frameArrival->Release();
    if (dev->callLock)
        PyThread_free_lock(dev->callLock);
    // A Python subclass's instances carry a GC header: free them the way
    // their type allocated them (for Dev itself, PyObject_Free). Each
    // instance of a type made by PyType_FromSpec holds a reference to its type.
    PyTypeObject *type = Py_TYPE(self);
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(reinterpret_cast<PyObject *>(type));
}

PyType_Slot devSlots[] = {
    {Py_tp_doc, const_cast<char *>(dev_doc)},
    {Py_tp_dealloc, reinterpret_cast<void *>(devDealloc)},
    {Py_tp_methods, devMethods},
    {Py_tp_new, reinterpret_cast<void *>(PyType_GenericNew)},
    {0, nullptr},
};

// Named with its module, as the interpreter wants of a type from PyType_FromSpec
// (without one it warns at import); its __name__ is "Dev" still.
// One member a line, as the structure declares them:
// clang-format off
PyType_Spec devSpec = {
    "quorin.Dev",
    sizeof(DevObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    devSlots,
};
// clang-format on

} // namespace

PyTypeObject *DevType = nullptr;

bool readyDevType() {
    if (DevType)
        return true;
    // Held for the life of the process, as a static type would be.
    DevType = reinterpret_cast<PyTypeObject *>(PyType_FromSpec(&devSpec));
    return DevType != nullptr;
}

PyObject *new_Dev(PyObject *, PyObject *args) {
    if (!comOnThisThread())
        return nullptr;
    lendEnvironment();
    DevObject *self = PyObject_New(DevObject, DevType);
    if (!self)
        return nullptr;
    self->callLock = nullptr;
    self->frameArrival = nullptr;
    DeviceRecord *record = &self->record;
    record->filterGraph = nullptr;
    record->captureBuilder = nullptr;
    record->captureFilter = nullptr;
    record->sampleGrabber = nullptr;
    record->mediaControl = nullptr;
    record->propertyBag = nullptr;
    record->deviceLost = false;
    record->ownerProcess = 0;
    record->deviceNumber = -1;
    record->showVideoWindow = 0;
    self->callLock = PyThread_allocate_lock();
    if (!self->callLock) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }

    if (!PyArg_ParseTuple(args, "ii:newDev", &record->deviceNumber, &record->showVideoWindow)) {
        Py_DECREF(self);
        return nullptr;
    }
    // The enumerator counts from zero; a negative index names no device.
    if (record->deviceNumber < 0) {
        raiseModuleError(message::noSuchDevice);
        Py_DECREF(self);
        return nullptr;
    }
    // Opening a device may take a while (a USB camera's first answers):
    // without the interpreter's lock, the object being this call's alone.
    if (const char *failure = withoutInterpreterLock([&] { return buildGraph(record); })) {
        raiseModuleError(failure);
        Py_DECREF(self);
        return nullptr;
    }
    return reinterpret_cast<PyObject *>(self);
}
