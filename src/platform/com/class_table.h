// The classes that CoCreateInstance serves, and the names of the interfaces
// the instrumentation counts queries for. The runtime knows none of them:
// the tables are defined above every layer whose classes and interfaces they
// name (class_table.cpp), so the runtime depends on nothing but these
// declarations.
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

struct InterfaceName {
    const IID *iid;
    const char *name;
};

extern const InterfaceName interfaceNames[];
extern const size_t interfaceNameCount;

} // namespace platform
