#include "module/com_thread.h"

#include "graph/platform.h"
#include "module/module_error.h"
#include "module/messages.h"
#include "module/python_api.h"

#include <pythread.h>

#include <cstdint>

namespace {

// Trivially destroyed: a thread_local with a destructor runs it, on
// Windows, at DLL_THREAD_DETACH, under the loader lock.
thread_local bool comUsable = false;

// A count the module took on a thread goes back as the thread ends, from
// the interpreter's own record of the thread: an entry of its thread state's
// dictionary, which the interpreter drops on the ending thread itself (as a
// threading.Thread returns; as a foreign thread's last PyGILState_Release
// lets its state go). Not from a thread_local's destructor: Windows runs
// that under the loader lock, where CoUninitialize is forbidden (it may
// unload DLLs or wait for other threads).
const char countKey[] = "quorin.com";

void *threadTag() { return reinterpret_cast<void *>(static_cast<uintptr_t>(PyThread_get_thread_ident())); }

void giveCountBack(PyObject *entry) {
    // Only on the thread that took it: at its exit the interpreter drops the
    // states of threads still running from the exiting thread.
    if (PyCapsule_GetPointer(entry, countKey) == threadTag()) {
        CoUninitialize();
        comUsable = false; // a later state of this thread starts COM anew
    }
}

// Leaves the count to the thread's end; false, with the count given back,
// where there is no room to (the exception state as it was).
bool keepCountUntilThreadEnds() {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    bool kept = false;
    if (PyObject *dict = PyThreadState_GetDict()) {
        if (PyObject *entry = PyCapsule_New(threadTag(), countKey, giveCountBack)) {
            kept = PyDict_SetItemString(dict, countKey, entry) == 0;
            Py_DECREF(entry); // not kept: this gives the count back
        } else {
            CoUninitialize();
        }
    } else {
        CoUninitialize();
    }
    PyErr_Restore(type, value, traceback); // drops any error of the calls above
    return kept;
}

} // namespace

bool comOnThisThread() {
    if (comUsableHere())
        return true;
    raiseModuleError(message::comNotInitialized);
    return false;
}

bool comUsableHere() {
    if (comUsable)
        return true;
    HRESULT hr = CoInitialize(nullptr);
    if (hr == RPC_E_CHANGED_MODE) {
        // Started by someone else as a multithreaded apartment: used as it is.
    } else if (FAILED(hr)) {
        return false;
    } else if (!keepCountUntilThreadEnds()) {
        // Started here (S_OK), or by someone else in this apartment
        // (S_FALSE): either way a count of the module's, kept until the
        // thread ends, so that the other library's own balanced stop does
        // not take COM from under the module.
        return false;
    }
    comUsable = true;
    return true;
}

void comStartedByImport() { comUsable = true; }
