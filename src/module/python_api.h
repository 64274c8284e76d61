// The interpreter's extension interface, with sizes of "#" formats as
// Py_ssize_t as every interpreter since 3.10 requires.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
