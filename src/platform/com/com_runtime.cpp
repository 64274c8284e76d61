// COM runtime: per-thread apartments, the class table, task memory.
#include "com/class_table.h"
#include "com/guard.h"
#include "com/instrumentation.h"


#include <cstdlib>

namespace {

struct Apartment {
    int initCount = 0;
    DWORD mode = COINIT_APARTMENTTHREADED;
};

thread_local Apartment apartment;

// Task memory carries its size in front so that the count of live blocks
// stays exact; the header keeps the block aligned for any type.
struct alignas(std::max_align_t) BlockHeader {
    size_t size;
};

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
    if (apartment.initCount == 0)
        return CO_E_NOTINITIALIZED;
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

LPVOID WINAPI CoTaskMemAlloc(size_t cb) {
    if (cb > SIZE_MAX - sizeof(BlockHeader))
        return nullptr;
    auto *header = static_cast<BlockHeader *>(std::malloc(sizeof(BlockHeader) + cb));
    if (!header)
        return nullptr;
    header->size = cb;
    ++platform::taskMemoryBlocks;
    return header + 1;
}

void WINAPI CoTaskMemFree(LPVOID pv) {
    if (!pv)
        return;
    --platform::taskMemoryBlocks;
    std::free(static_cast<BlockHeader *>(pv) - 1);
}

} // extern "C"
