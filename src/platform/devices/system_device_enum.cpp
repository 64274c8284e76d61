// The system device enumerator: one moniker per device of a category. Only
// the video input category has devices here.
#include "com/com_object.h"
#include "com/guard.h"
#include "devices/device_list.h"
#include "devices/factories.h"
#include "com/diagnostics.h"

#include <cstdio>

namespace platform {

namespace {

class SystemDeviceEnum final : public ComObject<ICreateDevEnum> {
public:
    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker **ppEnumMoniker,
                                                    DWORD) override {
        if (!ppEnumMoniker)
            return E_POINTER;
        *ppEnumMoniker = nullptr;
        PLATFORM_ENTER("ICreateDevEnum::CreateClassEnumerator");
        if (!IsEqualGUID(clsidDeviceClass, CLSID_VideoInputDeviceCategory))
            return S_FALSE;
        return guarded([&] {
            std::vector<DevicePtr> devices;
            std::string error;
            if (!listVideoInputDevices(devices, error)) {
                say(error);
                return E_INVALIDARG;
            }
            if (devices.empty())
                return S_FALSE;
            *ppEnumMoniker = createMonikerEnumerator(std::move(devices));
            return S_OK;
        });
    }

protected:
    void *findInterface(REFIID riid) override {
        return IsEqualGUID(riid, IID_ICreateDevEnum) ? static_cast<ICreateDevEnum *>(this) : nullptr;
    }
};

} // namespace

IUnknown *createSystemDeviceEnum() { return new SystemDeviceEnum; }

} // namespace platform
