// The module's one error type, shared by every part of the module.
#pragma once

#include "module/python_api.h"

// Made at import; each import makes a new type and points this at it.
extern PyObject *moduleError;

// Raises moduleError with a fixed message; returns null for the caller to
// return to the interpreter.
PyObject *raiseModuleError(const char *message);
