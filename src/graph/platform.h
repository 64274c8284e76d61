// The platform services that the module calls: COM, DirectShow, OLE
// Automation, the user interface and the runtime. Every line that differs
// between Windows and other systems stays in this header.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <dshow.h>
#include <ocidl.h>
#include <olectl.h>
#include <qedit.h>
#else
#include <quorin_platform/com.h>
#include <quorin_platform/dshow.h>
#include <quorin_platform/user.h>
#endif
