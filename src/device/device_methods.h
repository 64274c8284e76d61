// The methods of Dev that act on an open device. Each takes the device object
// and its positional arguments and returns a new reference, or null with an
// exception set.
#pragma once

#include "module/python_api.h"

PyObject *displaypropertypage(PyObject *self, PyObject *args);
PyObject *displaycapturefilterproperties(PyObject *self, PyObject *args);
PyObject *displaycapturepinproperties(PyObject *self, PyObject *args);
PyObject *getdisplayname(PyObject *self, PyObject *args);
PyObject *setresolution(PyObject *self, PyObject *args);
PyObject *getbuffer(PyObject *self, PyObject *args);
PyObject *getresolutions(PyObject *self, PyObject *args);
PyObject *getcontrols(PyObject *self, PyObject *args);
PyObject *setcontrol(PyObject *self, PyObject *args);
