// User-interface services for systems without Windows (user32 and the
// property frame of OLE Automation). On a desktop (a display is named and
// the dialog helper was built) they are real modal windows; otherwise there
// is no one to click: message boxes are written to stderr and dismissed at
// once, and property frames show nothing.
#pragma once

#include <quorin_platform/com.h>

struct HWND__;
typedef HWND__ *HWND;

#define MB_ICONERROR 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_ICONMASK 0x000000F0L
#define MB_TASKMODAL 0x00002000L
#define IDOK 1

extern "C" {
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
HWND WINAPI GetTopWindow(HWND hWnd);
HRESULT WINAPI OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption, ULONG cObjects,
                                      LPUNKNOWN *ppUnk, ULONG cPages, LPCLSID pPageClsID, LCID lcid, DWORD dwReserved,
                                      LPVOID pvReserved);
}
