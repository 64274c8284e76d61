// A device's friendly name as Python text.
#pragma once

#include "module/python_api.h"

// name (null: none) as a str, at most 99 bytes of the locale's encoding;
// a character the locale cannot represent becomes "?".
PyObject *nameToPython(const wchar_t *name);
