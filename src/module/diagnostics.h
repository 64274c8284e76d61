// What the platform says (a helper's fault, a device node the user may not
// open) goes to the Python logger "quorin" at WARNING; with no handler
// configured anywhere, logging writes it to standard error as before. A line
// is logged on a Python thread with no quorin lock held, never on the thread
// it arose on. Once the interpreter begins to exit, lines go to standard
// error directly.
#pragma once

#include "module/python_api.h"

// At import: routes the lines, and stops routing them as the interpreter
// exits. Leaves no exception set; where routing cannot be set up, lines go
// on to standard error.
void routeDiagnosticsToLogging();

// With the interpreter's lock and no quorin lock held (as a call into the
// module returns): logs the lines said so far. Leaves the exception state
// as it found it.
void deliverDiagnostics();

// A function of the module, then the lines it said (once its locks are let
// go, before it returns).
template <PyObject *(*call)(PyObject *, PyObject *)>
PyObject *thenLogged(PyObject *self, PyObject *args) {
    PyObject *result = call(self, args);
    deliverDiagnostics();
    return result;
}
