// COM runtime and OLE Automation for systems without Windows.
//
// Types, names and signatures follow the Windows SDK, so that code written
// against these declarations builds unchanged against <windows.h>. Only what
// the capture module and the platform itself need is declared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef unsigned int UINT;
typedef int64_t LONGLONG;
typedef intptr_t LONG_PTR;
typedef uint32_t LCID;
typedef wchar_t WCHAR;
typedef WCHAR OLECHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;
typedef OLECHAR *BSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef uint16_t VARTYPE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define STDMETHODCALLTYPE
#define WINAPI

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_ABORT ((HRESULT)0x80004004u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFu)
#define E_ACCESSDENIED ((HRESULT)0x80070005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0u)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106u)
#define HRESULT_FROM_WIN32_ERROR_BUSY ((HRESULT)0x800700AAu)
// HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED): the device is gone.
#define HRESULT_FROM_WIN32_ERROR_DEVICE_NOT_CONNECTED ((HRESULT)0x8007048Fu)

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID &REFGUID;
typedef const IID &REFIID;
typedef const CLSID &REFCLSID;
typedef CLSID *LPCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
typedef IUnknown *LPUNKNOWN;

// Declared for signatures only; the platform never hands these out.
struct IBindCtx;
struct IErrorLog;

struct IDispatch : public IUnknown {
protected:
    ~IDispatch() = default;
};

extern "C" {
extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
}

// COM runtime (ole32)
enum COINIT { COINIT_MULTITHREADED = 0x0, COINIT_APARTMENTTHREADED = 0x2 };
enum CLSCTX { CLSCTX_INPROC_SERVER = 0x1, CLSCTX_INPROC_HANDLER = 0x2 };

extern "C" {
HRESULT WINAPI CoInitialize(LPVOID pvReserved);
HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void WINAPI CoUninitialize(void);
HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID *ppv);
LPVOID WINAPI CoTaskMemAlloc(size_t cb);
void WINAPI CoTaskMemFree(LPVOID pv);
}

// OLE Automation (oleaut32)
enum VARENUM { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8 };

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BSTR bstrVal;
        LONGLONG llVal;
    };
};

extern "C" {
BSTR WINAPI SysAllocString(const OLECHAR *psz);
void WINAPI SysFreeString(BSTR bstrString);
UINT WINAPI SysStringLen(BSTR bstr);
void WINAPI VariantInit(VARIANT *pvarg);
HRESULT WINAPI VariantClear(VARIANT *pvarg);
}

// Kernel
extern "C" void WINAPI Sleep(DWORD dwMilliseconds);
// Milliseconds since an arbitrary start, wrapping around after 49.7 days.
extern "C" DWORD WINAPI GetTickCount(void);

// Events, the kernel's only waitable objects here: an auto-reset event lets
// one wait through per SetEvent, a manual-reset one every wait until reset.
// A wait on several returns at the first signalled (bWaitAll must be FALSE).
// Each event is counted as an open handle until CloseHandle.
typedef void *HANDLE;
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES;
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
extern "C" {
HANDLE WINAPI CreateEventW(SECURITY_ATTRIBUTES *lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName);
BOOL WINAPI SetEvent(HANDLE hEvent);
BOOL WINAPI ResetEvent(HANDLE hEvent);
BOOL WINAPI CloseHandle(HANDLE hObject);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);
}
