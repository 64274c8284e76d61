#include "module/device_type.h"

#include "device/device_methods.h"
#include "module/module_error.h"

namespace {

PyMethodDef devMethods[] = {
    {"displaypropertypage", displaypropertypage, METH_VARARGS, nullptr},
    {"displaycapturefilterproperties", displaycapturefilterproperties, METH_VARARGS, nullptr},
    {"displaycapturepinproperties", displaycapturepinproperties, METH_VARARGS, nullptr},
    {"getdisplayname", getdisplayname, METH_VARARGS, nullptr},
    {"setresolution", setresolution, METH_VARARGS, nullptr},
    {"getbuffer", getbuffer, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

void devDealloc(PyObject *self) {
    // Another process's references are left alone: releasing them would
    // stop its stream and join threads that do not exist here.
    if (!inheritedFromParent(recordOf(self)))
        releaseAll(recordOf(self));
    // A Python subclass's instances carry a GC header: free them the way
    // their type allocated them (for Dev itself, PyObject_Free).
    Py_TYPE(self)->tp_free(self);
}

} // namespace

PyTypeObject DevType = {};

void prepareDevType() {
    if (DevType.tp_name)
        return;
    // A static type is never freed: it holds a reference to itself.
    Py_INCREF(reinterpret_cast<PyObject *>(&DevType));
    DevType.tp_name = "Dev";
    DevType.tp_basicsize = sizeof(DevObject);
    DevType.tp_itemsize = 0;
    DevType.tp_dealloc = devDealloc;
    DevType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
    DevType.tp_methods = devMethods;
}

PyObject *new_Dev(PyObject *, PyObject *args) {
    auto *self = reinterpret_cast<DevObject *>(_PyObject_New(&DevType));
    if (!self)
        return nullptr;
    DeviceRecord *record = &self->record;
    record->filterGraph = nullptr;
    record->captureBuilder = nullptr;
    record->captureFilter = nullptr;
    record->sampleGrabber = nullptr;
    record->mediaControl = nullptr;
    record->propertyBag = nullptr;
    record->deviceLost = false;
    record->ownerProcess = 0;

    if (!PyArg_ParseTuple(args, "ii:newDev", &record->deviceNumber, &record->showVideoWindow)) {
        Py_DECREF(self);
        return nullptr;
    }
    // The enumerator counts from zero; a negative index names no device.
    if (record->deviceNumber < 0) {
        raiseModuleError("The device with the specified device number does not exist.");
        Py_DECREF(self);
        return nullptr;
    }
    if (!buildGraph(record)) {
        Py_DECREF(self);
        return nullptr;
    }
    return reinterpret_cast<PyObject *>(self);
}
