// What the stand-in interpreter offers its host besides the interpreter
// functions that quorin.pyd imports: values to pass in, a way to read what
// came back, the error state, and the counts that show nothing leaked.
#pragma once

// Sizes of "#" formats are Py_ssize_t, as in the module.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#ifdef QUORIN_STANDIN_BUILD
#define STANDIN_API extern "C" __declspec(dllexport)
#else
#define STANDIN_API extern "C" __declspec(dllimport)
#endif

// What the interpreter does at start-up that the module relies on: the C
// runtime's LC_CTYPE set from the user's locale.
STANDIN_API void StandIn_Initialize(void);
// Runs the exit hooks, last registered first, as the interpreter's exit does.
STANDIN_API void StandIn_Finalize(void);

// Drops the calling thread's state (its dictionary), as CPython does on a
// thread as it ends: a thread the host starts calls it last.
STANDIN_API void StandIn_EndThread(void);

// Objects made by the stand-in and not yet freed.
STANDIN_API long StandIn_LiveObjects(void);
// How often the interpreter's lock was let go and not yet taken back: 0
// whenever a call has returned.
STANDIN_API long StandIn_LockReleases(void);

// New references.
STANDIN_API PyObject *StandIn_Int(long long value);
STANDIN_API PyObject *StandIn_Str(const char *utf8);
STANDIN_API PyObject *StandIn_Tuple(Py_ssize_t count, PyObject *const *items); // takes no references

// Reading values: each returns 0 when the object is not of that kind.
STANDIN_API int StandIn_IntValue(PyObject *object, long long *value);
STANDIN_API int StandIn_StrValue(PyObject *object, const char **utf8);
STANDIN_API int StandIn_BytesValue(PyObject *object, const char **data, Py_ssize_t *size);
STANDIN_API int StandIn_TupleItems(PyObject *object, Py_ssize_t *count, PyObject *const **items);
// A list's item at index (borrowed): 0 past the end, or when not a list.
STANDIN_API int StandIn_ListItem(PyObject *list, Py_ssize_t index, PyObject **item);
// The entries of a dict in insertion order: 0 past the end.
STANDIN_API int StandIn_DictItem(PyObject *dict, Py_ssize_t index, const char **key, PyObject **value);
// The method definition behind a built-in function object, or null.
STANDIN_API PyMethodDef *StandIn_FunctionDefinition(PyObject *object, PyObject **self);
// The types that PyType_FromSpec has made, in order: null past the end.
STANDIN_API PyTypeObject *StandIn_ReadiedType(Py_ssize_t index);

// The pending exception: its type's name and its message ("" when it has
// none). Returns 0 when none is pending. Clear drops it.
STANDIN_API int StandIn_PendingError(const char **typeName, const char **message);
STANDIN_API void StandIn_ClearError(void);
