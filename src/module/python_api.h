// The interpreter's extension interface, with sizes of "#" formats as
// Py_ssize_t as every interpreter since 3.10 requires. Only its stable ABI,
// as of CPython 3.11: one build of the module loads in every CPython from
// 3.11 on (not in free-threaded builds, which have no stable ABI).
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>
