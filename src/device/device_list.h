// listdevices(), a module function: the devices' friendly names.
#pragma once

#include "module/python_api.h"

PyObject *listdevices(PyObject *module, PyObject *args);
