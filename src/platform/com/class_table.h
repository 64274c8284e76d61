// The classes that CoCreateInstance serves. The runtime knows none of them:
// the table is defined above every layer whose classes it names
// (class_table.cpp), so the runtime depends on nothing but this declaration.
#pragma once

#include <quorin_platform/com.h>

#include <cstddef>

namespace platform {

struct ClassEntry {
    const CLSID *clsid;
    IUnknown *(*create)(); // a new object holding one reference for the caller
};

extern const ClassEntry classTable[];
extern const size_t classCount;

} // namespace platform
