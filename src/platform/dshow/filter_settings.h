// IAMVideoProcAmp and IAMCameraControl of a capture filter. Each is a part
// of the filter, as on Windows: it answers QueryInterface, AddRef and
// Release as the filter does, and reads and sets the device's settings,
// opened anew for each call so that a change reaches the device at once,
// running or not.
#pragma once

#include "dshow/camera_device_settings.h"

#include <quorin_platform/dshow.h>

namespace platform {

class Device;

template <class Interface, SettingFamily family>
class FilterSettings final : public Interface {
public:
    FilterSettings(IUnknown &filter, Device &device) : filter_(filter), device_(device) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
        return filter_.QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return filter_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return filter_.Release(); }

    HRESULT STDMETHODCALLTYPE GetRange(long Property, long *pMin, long *pMax, long *pSteppingDelta, long *pDefault,
                                       long *pCapsFlags) override {
        return settingRange(device_, family, Property, pMin, pMax, pSteppingDelta, pDefault, pCapsFlags);
    }
    HRESULT STDMETHODCALLTYPE Set(long Property, long lValue, long Flags) override {
        return settingSet(device_, family, Property, lValue, Flags);
    }
    HRESULT STDMETHODCALLTYPE Get(long Property, long *lValue, long *Flags) override {
        return settingGet(device_, family, Property, lValue, Flags);
    }

private:
    IUnknown &filter_;
    Device &device_;
};

using VideoProcAmpSettings = FilterSettings<IAMVideoProcAmp, SettingFamily::VideoProcAmp>;
using CameraControlSettings = FilterSettings<IAMCameraControl, SettingFamily::CameraControl>;

} // namespace platform
