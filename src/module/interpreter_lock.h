// Waits without the interpreter's lock: other Python threads run while a
// device starts, stops, waits for a frame or shows a dialog. What runs
// without the lock touches no Python object and no exception state; the
// caller raises, if it must, once the lock is back.
#pragma once

#include "module/python_api.h"

#include <utility>

class InterpreterLockReleased {
public:
    InterpreterLockReleased() : saved_(PyEval_SaveThread()) {}
    ~InterpreterLockReleased() { PyEval_RestoreThread(saved_); }
    InterpreterLockReleased(const InterpreterLockReleased &) = delete;
    InterpreterLockReleased &operator=(const InterpreterLockReleased &) = delete;

private:
    PyThreadState *saved_;
};

// Runs work without the interpreter's lock and returns what it returned.
template <class Work>
auto withoutInterpreterLock(Work &&work) {
    InterpreterLockReleased released;
    return std::forward<Work>(work)();
}
