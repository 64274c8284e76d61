// listdevices(): the friendly names of the video capture devices, in the
// order whose index new_Dev() takes.
#include "device/device_list.h"

#include "device/display_name.h"
#include "graph/device_record.h"
#include "module/com_thread.h"
#include "module/interpreter_lock.h"
#include "module/module_error.h"

#include <new>
#include <string>
#include <vector>

namespace {

// Reads every device's name: null, or the failing step's message. A device
// whose name cannot be read keeps its place with an empty name, so that a
// name's index is still its device number.
const char *readNames(std::vector<std::wstring> &names) {
    ComRef<IEnumMoniker> monikers;
    if (const char *failure = openDeviceMonikers(monikers))
        return failure;
    if (!monikers)
        return nullptr; // no device
    for (;;) {
        ComRef<IMoniker> moniker;
        ULONG fetched = 0;
        if (monikers->Next(1, moniker.out(), &fetched) != S_OK || !moniker)
            return nullptr;
        std::wstring text;
        ComRef<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.voidOut())) && bag) {
            VARIANT name;
            VariantInit(&name);
            if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR && name.bstrVal)
                text = name.bstrVal;
            VariantClear(&name);
        }
        names.push_back(std::move(text));
    }
}

} // namespace

PyObject *listdevices(PyObject *, PyObject *) {
    if (!comOnThisThread())
        return nullptr;
    lendEnvironment();
    std::vector<std::wstring> names;
    const char *failure;
    try {
        // Listing opens each device node: without the interpreter's lock.
        failure = withoutInterpreterLock([&] { return readNames(names); });
    } catch (const std::bad_alloc &) {
        return PyErr_NoMemory();
    }
    if (failure)
        return raiseModuleError(failure);
    PyObject *list = PyList_New(0);
    for (size_t i = 0; list && i < names.size(); ++i) {
        PyObject *name = nameToPython(names[i].c_str());
        if (!name || PyList_Append(list, name) < 0) {
            Py_XDECREF(name);
            Py_CLEAR(list);
            break;
        }
        Py_DECREF(name);
    }
    return list;
}
