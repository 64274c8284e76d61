// Waits without the interpreter's lock: other Python threads run while a
// device starts, stops, waits for a frame or shows a dialog. What runs
// without the lock touches no Python object and no exception state; the
// caller raises, if it must, once the lock is back.
#pragma once

#include "module/python_api.h"

#include <utility>

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
        PyEval_RestoreThread(saved);
        throw;
    }
    // Outside the try: the unwind that ends a daemon thread at exit must
    // not meet a handler that takes it for an exception of ours.
    PyEval_RestoreThread(saved);
    return result;
}
