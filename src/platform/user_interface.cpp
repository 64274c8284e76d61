// User-interface stand-ins. No window exists and no one clicks: a message
// box is written to stderr and dismissed at once; a property frame shows
// nothing and records what it was asked to show, for tests.
#include "instrumentation.h"

#include <quorin_platform/control.h>
#include <quorin_platform/user.h>

#include <cstdio>

extern "C" {

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    platform::enterOperation("MessageBoxA");
    std::fprintf(stderr, "[%s] %s\n", lpCaption ? lpCaption : "Error", lpText ? lpText : "");
    return IDOK;
}

HWND WINAPI GetTopWindow(HWND) {
    platform::enterOperation("GetTopWindow");
    return nullptr;
}

HRESULT WINAPI OleCreatePropertyFrame(HWND, UINT, UINT, LPCOLESTR, ULONG cObjects, LPUNKNOWN *ppUnk, ULONG cPages,
                                      LPCLSID pPageClsID, LCID, DWORD, LPVOID) {
    PLATFORM_ENTER("OleCreatePropertyFrame");
    if ((cObjects && !ppUnk) || (cPages && !pPageClsID))
        return E_POINTER;
    return S_OK;
}

} // extern "C"
