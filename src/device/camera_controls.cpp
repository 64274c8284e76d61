// getcontrols() and setcontrol(name, value): the capture filter's
// IAMVideoProcAmp and IAMCameraControl, by the settings' names. Neither
// stops the graph: a setting applies to the running stream at once.
#include "common/setting_names.h"
#include "device/device_methods.h"
#include "module/device_type.h"
#include "module/interpreter_lock.h"
#include "module/module_error.h"
#include "module/messages.h"

#include <cstring>
#include <vector>

namespace {

using quorin::SettingFamily;
using quorin::SettingName;

// A setting as the device reports it.
struct Reading {
    const SettingName *setting;
    long value, minimum, maximum, step, defaultValue;
    int automatic; // -1: no automatic mode; else whether it runs
};

// Both interfaces have the same three calls and give the flags the same
// values (1 automatic, 2 by hand).
constexpr long autoFlag = 0x0001, manualFlag = 0x0002;

template <class Interface>
void readFamily(IBaseFilter *filter, REFIID iid, SettingFamily family, std::vector<Reading> &readings) {
    ComRef<Interface> settings;
    if (filter->QueryInterface(iid, settings.voidOut()) != S_OK || !settings)
        return;
    for (const SettingName &setting : quorin::settingNames) {
        if (setting.family != family)
            continue;
        Reading r{&setting, 0, 0, 0, 0, 0, -1};
        long caps = 0, flags = 0;
        // Only what the device offers and can read now.
        if (settings->GetRange(setting.property, &r.minimum, &r.maximum, &r.step, &r.defaultValue, &caps) != S_OK ||
            settings->Get(setting.property, &r.value, &flags) != S_OK)
            continue;
        if (caps & autoFlag)
            r.automatic = (flags & autoFlag) ? 1 : 0;
        readings.push_back(r);
    }
}

// One setting as a dict of ints, "auto" True, False or None; null with an
// exception set.
PyObject *readingDict(const Reading &r) {
    PyObject *dict = Py_BuildValue("{s:l,s:l,s:l,s:l,s:l}", "value", r.value, "minimum", r.minimum, "maximum",
                                   r.maximum, "step", r.step, "default", r.defaultValue);
    if (!dict)
        return nullptr;
    PyObject *automatic = r.automatic < 0 ? Py_None : r.automatic ? Py_True : Py_False;
    if (PyDict_SetItemString(dict, "auto", automatic) != 0) {
        Py_DECREF(dict);
        return nullptr;
    }
    return dict;
}

template <class Interface>
const char *setInFamily(IBaseFilter *filter, REFIID iid, long property, bool automatic, long value) {
    ComRef<Interface> settings;
    long minimum, maximum, step, defaultValue, caps = 0, now = 0, flags = 0;
    if (filter->QueryInterface(iid, settings.voidOut()) != S_OK || !settings ||
        settings->GetRange(property, &minimum, &maximum, &step, &defaultValue, &caps) != S_OK)
        return message::controlUnknown;
    if (automatic) {
        if (!(caps & autoFlag))
            return message::controlWithoutAuto;
        // The value goes with the flag; the device then chooses its own.
        if (settings->Get(property, &now, &flags) != S_OK)
            now = defaultValue;
        return settings->Set(property, now, autoFlag) == S_OK ? nullptr : message::controlRefused;
    }
    if (value < minimum || value > maximum)
        return message::controlOutOfRange;
    return settings->Set(property, value, manualFlag) == S_OK ? nullptr : message::controlRefused;
}

} // namespace

PyObject *getcontrols(PyObject *self, PyObject *args) {
    if (!PyArg_ParseTuple(args, ":getcontrols"))
        return nullptr;
    DeviceRecord *record = recordOf(self);
    if (!requireGraph(record))
        return nullptr;
    // A camera answers each request over its bus: without the lock.
    std::vector<Reading> readings = withoutInterpreterLock([&] {
        std::vector<Reading> found;
        readFamily<IAMVideoProcAmp>(record->captureFilter, IID_IAMVideoProcAmp, SettingFamily::VideoProcAmp, found);
        readFamily<IAMCameraControl>(record->captureFilter, IID_IAMCameraControl, SettingFamily::CameraControl, found);
        return found;
    });
    PyObject *controls = PyDict_New();
    if (!controls)
        return nullptr;
    for (const Reading &r : readings) {
        PyObject *entry = readingDict(r);
        if (!entry || PyDict_SetItemString(controls, r.setting->name, entry) != 0) {
            Py_XDECREF(entry);
            Py_DECREF(controls);
            return nullptr;
        }
        Py_DECREF(entry);
    }
    return controls;
}

PyObject *setcontrol(PyObject *self, PyObject *args) {
    PyObject *nameObject, *valueObject;
    if (!PyArg_ParseTuple(args, "UO:setcontrol", &nameObject, &valueObject))
        return nullptr;
    bool automatic = false;
    long value = 0;
    if (PyUnicode_Check(valueObject)) {
        if (PyUnicode_CompareWithASCIIString(valueObject, "auto") != 0) {
            PyErr_SetString(PyExc_TypeError, "setcontrol() value must be an int or \"auto\"");
            return nullptr;
        }
        automatic = true;
    } else if (PyLong_Check(valueObject)) {
        int overflow = 0;
        value = PyLong_AsLongAndOverflow(valueObject, &overflow);
        if (overflow)
            return raiseModuleError(message::controlOutOfRange);
        if (value == -1 && PyErr_Occurred())
            return nullptr;
    } else {
        PyErr_SetString(PyExc_TypeError, "setcontrol() value must be an int or \"auto\"");
        return nullptr;
    }
    Py_ssize_t length = 0;
    const char *name = PyUnicode_AsUTF8AndSize(nameObject, &length);
    if (!name)
        return nullptr;
    const SettingName *setting = quorin::findSetting(name);
    // Only the exact name: no other case, no spaces, no NUL inside.
    if (!setting || static_cast<size_t>(length) != std::strlen(setting->name))
        return raiseModuleError(message::controlUnknown);
    DeviceRecord *record = recordOf(self);
    if (!requireGraph(record))
        return nullptr;
    const char *failure = withoutInterpreterLock([&] {
        return setting->family == SettingFamily::VideoProcAmp
                   ? setInFamily<IAMVideoProcAmp>(record->captureFilter, IID_IAMVideoProcAmp, setting->property,
                                                  automatic, value)
                   : setInFamily<IAMCameraControl>(record->captureFilter, IID_IAMCameraControl, setting->property,
                                                   automatic, value);
    });
    if (failure)
        return raiseModuleError(failure);
    Py_RETURN_NONE;
}
