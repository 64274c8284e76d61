// The quorin module: its definition, its error type and its initialization.
#include "device/device_list.h"
#include "graph/platform.h"
#include "module/com_thread.h"
#include "module/device_type.h"
#include "module/diagnostics.h"
#include "module/module_error.h"
#include "module/messages.h"

PyObject *moduleError = nullptr;

PyObject *raiseModuleError(const char *message) {
    PyErr_SetString(moduleError, message);
    return nullptr;
}

namespace {

struct ModuleState {
    PyObject *object;
};

int moduleTraverse(PyObject *module, visitproc visit, void *arg) {
    auto *state = static_cast<ModuleState *>(PyModule_GetState(module));
    if (state && state->object)
        return visit(state->object, arg);
    return 0;
}

int moduleClear(PyObject *module) {
    auto *state = static_cast<ModuleState *>(PyModule_GetState(module));
    if (state)
        Py_CLEAR(state->object);
    return 0;
}

// COM's own uninitialization has another calling convention than an exit
// hook on 32-bit Windows.
void uninitializeCom() { CoUninitialize(); }

PyDoc_STRVAR(new_Dev_doc, "new_Dev(devnum, showVideoWindow) -> Dev\n\n"
                          "Opens the capture device with the given zero-based index (its place in\n"
                          "listdevices()); a non-zero showVideoWindow lets the renderer's window show.\n"
                          "Works on any thread. Raises error when there is no such device or its graph\n"
                          "cannot be built.");
PyDoc_STRVAR(listdevices_doc, "listdevices() -> list of str\n\n"
                              "The friendly names of the video capture devices, in device-number order\n"
                              "(the index new_Dev() takes); an empty list when there is none.");

PyMethodDef moduleMethods[] = {
    {"new_Dev", thenLogged<new_Dev>, METH_VARARGS, new_Dev_doc},
    {"listdevices", thenLogged<listdevices>, METH_NOARGS, listdevices_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(module_doc, "Still frames from video capture devices (webcams, capture cards).\n\n"
                         "listdevices() names the devices; new_Dev() opens one as a Dev, whose\n"
                         "getbuffer() returns the latest frame. Every call works on any thread and\n"
                         "lets the interpreter's lock go while it waits.");

// One member a line, as the structure declares them:
// clang-format off
PyModuleDef moduleDefinition = {
    PyModuleDef_HEAD_INIT,
    "quorin",
    module_doc,
    sizeof(ModuleState),
    moduleMethods,
    nullptr,
    moduleTraverse,
    moduleClear,
    nullptr,
};
// clang-format on

// The interpreter API version that the module is written against (3.4).
const int apiVersion = 1013;

} // namespace

PyMODINIT_FUNC PyInit_quorin(void) {
    PyObject *module = PyModule_Create2(&moduleDefinition, apiVersion);
    if (!module)
        return nullptr;

    PyObject *error = PyErr_NewException("quorin.Error", nullptr, nullptr);
    if (!error) {
        Py_DECREF(module);
        return nullptr;
    }
    PyObject *previous = moduleError;
    moduleError = error;
    Py_XDECREF(previous);
    if (PyDict_SetItemString(PyModule_GetDict(module), "error", moduleError) < 0) {
        Py_DECREF(module);
        return nullptr;
    }

    if (!readyDevType()) {
        Py_DECREF(module);
        return nullptr;
    }

    if (FAILED(CoInitialize(nullptr))) {
        raiseModuleError(message::comNotInitialized);
        Py_DECREF(module);
        return nullptr;
    }
    if (Py_AtExit(uninitializeCom) != 0) {
        raiseModuleError(message::exitNotRegistered);
        CoUninitialize();
        Py_DECREF(module);
        return nullptr;
    }
    comStartedByImport();
    routeDiagnosticsToLogging();
    return module;
}
