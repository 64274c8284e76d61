// Base of every platform COM object: a true reference count, a live-object
// count for leak checks, and a QueryInterface that keeps identity, nulls its
// out pointer on failure and AddRefs what it returns.
#pragma once

#include "common/com_ref.h"
#include "com/instrumentation.h"

#include <atomic>
#include <string>

namespace platform {

class LiveObject {
public:
    LiveObject() {
        failResource("object");
        ++liveObjects;
    }
    LiveObject(const LiveObject &) = delete;
    LiveObject &operator=(const LiveObject &) = delete;
    virtual ~LiveObject() { --liveObjects; }
};

// The start of every QueryInterface: refuses a null out pointer, nulls it,
// counts the call as "QueryInterface:IName" and gives any injected result.
inline std::optional<HRESULT> beginQuery(REFIID riid, void **ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    std::string operation = std::string("QueryInterface:") + interfaceName(riid);
    return enterOperation(operation.c_str());
}

// Derived lists the interfaces it implements and answers findInterface with
// the matching base pointer (or null). IUnknown is always the first interface
// in Primary, so every query for IUnknown gives the same pointer.
template <class Primary, class... Others>
class ComObject : public LiveObject, public Primary, public Others... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
        if (std::optional<HRESULT> early = beginQuery(riid, ppv))
            return *early;
        void *found = IsEqualGUID(riid, IID_IUnknown) ? identity() : findInterface(riid);
        if (!found)
            return E_NOINTERFACE;
        AddRef();
        *ppv = found;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    IUnknown *identity() { return static_cast<Primary *>(this); }

protected:
    // Returns the interface pointer for riid (never IUnknown), without AddRef.
    virtual void *findInterface(REFIID riid) = 0;

private:
    std::atomic<ULONG> references_{1};
};

} // namespace platform
