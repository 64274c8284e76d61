// Waits without the interpreter's lock: other Python threads run while a
// device starts, stops, waits for a frame or shows a dialog. What runs
// without the lock touches no Python object and no exception state; the
// caller raises, if it must, once the lock is back.
#pragma once

#include "module/python_api.h"

#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

// Takes the interpreter's lock back. At exit the interpreter ends a daemon
// thread that asks for it by unwinding the thread (pthread_exit), through
// this module's frames. AddressSanitizer sees a C++ throw but not that
// unwind: the frames it leaves keep their poisoned stack, and the unwinder's
// own writes there would be reported. The stack is unpoisoned first.
inline void takeInterpreterLockBack(PyThreadState *saved) {
#if defined(__SANITIZE_ADDRESS__)
    __asan_handle_no_return();
#endif
    PyEval_RestoreThread(saved);
}

// Runs work without the interpreter's lock and returns what it returned.
// The lock is taken back in plain code, never in a destructor: at exit the
// interpreter ends a daemon thread that asks for it (pthread_exit, which
// unwinds the thread), and an unwind out of a destructor ends the process.
template <class Work>
auto withoutInterpreterLock(Work &&work) {
    PyThreadState *saved = PyEval_SaveThread();
    decltype(std::forward<Work>(work)()) result;
    try {
        result = std::forward<Work>(work)();
    } catch (...) {
        takeInterpreterLockBack(saved);
        throw;
    }
    // Outside the try: the unwind that ends a daemon thread at exit must
    // not meet a handler that takes it for an exception of ours.
    takeInterpreterLockBack(saved);
    return result;
}
