// COM runtime: per-thread apartments, the class table, task memory.
#include "com/class_table.h"
#include "com/guard.h"
#include "com/instrumentation.h"
#include "com/diagnostics.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Apartment {
    int initCount = 0;
    DWORD mode = COINIT_APARTMENTTHREADED;
    bool toldUninitialized = false; // that a creation failed for want of COM
};

thread_local Apartment apartment;

} // namespace

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit) {
    PLATFORM_ENTER("CoInitializeEx");
    DWORD mode = (dwCoInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
    if (apartment.initCount > 0) {
        if (apartment.mode != mode)
            return RPC_E_CHANGED_MODE;
        ++apartment.initCount;
        return S_FALSE;
    }
    apartment.mode = mode;
    apartment.initCount = 1;
    return S_OK;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    PLATFORM_ENTER("CoInitialize");
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize(void) {
    platform::enterOperation("CoUninitialize");
    if (apartment.initCount > 0)
        --apartment.initCount;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid, LPVOID *ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    PLATFORM_ENTER("CoCreateInstance");
    if (apartment.initCount == 0) {
        // The caller sees only a step that failed; say once per thread why.
        if (!apartment.toldUninitialized) {
            apartment.toldUninitialized = true;
            platform::say("CoCreateInstance on a thread where COM was not initialized (CO_E_NOTINITIALIZED); call "
                          "CoInitialize on the thread first");
        }
        return CO_E_NOTINITIALIZED;
    }
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    for (size_t i = 0; i < platform::classCount; ++i) {
        const platform::ClassEntry &entry = platform::classTable[i];
        if (!IsEqualGUID(*entry.clsid, rclsid))
            continue;
        IUnknown *object = nullptr;
        HRESULT made = platform::guarded([&] {
            object = entry.create();
            return object ? S_OK : E_OUTOFMEMORY;
        });
        if (FAILED(made))
            return made;
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    return REGDB_E_CLASSNOTREG;
}

// Task memory is the C heap's, counted so that tests see every block freed.
// A request of no bytes still gives a block of its own, as on Windows.
LPVOID WINAPI CoTaskMemAlloc(size_t cb) {
    void *block = std::malloc(cb ? cb : 1);
    if (block)
        ++platform::taskMemoryBlocks;
    return block;
}

void WINAPI CoTaskMemFree(LPVOID pv) {
    if (!pv)
        return;
    --platform::taskMemoryBlocks;
    std::free(pv);
}

} // extern "C"
