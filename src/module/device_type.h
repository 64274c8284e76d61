// The Dev type: one object per open capture device, carrying its device
// record after the object header.
#pragma once

#include "graph/device_record.h"
#include "module/python_api.h"

class FrameArrival;

struct DevObject {
    PyObject_HEAD
    DeviceRecord record;
    // One call at a time on a device, from whichever thread: a second caller
    // waits for it without the interpreter's lock. Null in an object made
    // by calling the type, which has no device to guard.
    PyThread_type_lock callLock;
    // The sample grabber's callback for first-frame waits: made by the first
    // such wait, released when the Dev goes, after its graph.
    FrameArrival *frameArrival;
};

// The Dev type, made once per process by readyDevType() (a type made from
// PyType_Spec, as the stable ABI requires: it has no static type records).
extern PyTypeObject *DevType;

// Makes the type on the first call; later calls (a module imported anew)
// keep it, so that devices opened before and after are of one type. False
// with the interpreter's error set when it cannot be made.
bool readyDevType();

// new_Dev(devnum, showVideoWindow): opens a device and builds its graph.
PyObject *new_Dev(PyObject *module, PyObject *args);

inline DeviceRecord *recordOf(PyObject *self) { return &reinterpret_cast<DevObject *>(self)->record; }
