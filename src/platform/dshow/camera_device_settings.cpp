#include "dshow/camera_device_settings.h"

#include "com/instrumentation.h"
#include "dshow/capture_device.h"

#include <quorin_platform/dshow.h>

namespace platform {

namespace {

// Both interfaces give the flags the same values.
static_assert(long{VideoProcAmp_Flags_Auto} == long{CameraControl_Flags_Auto}, "automatic flags differ");
static_assert(long{VideoProcAmp_Flags_Manual} == long{CameraControl_Flags_Manual}, "manual flags differ");
constexpr long autoFlag = VideoProcAmp_Flags_Auto, manualFlag = VideoProcAmp_Flags_Manual;

// The name a test's injected failure gives the call.
const char *operation(SettingFamily family, int call) {
    static const char *const names[2][3] = {
        {"IAMVideoProcAmp::GetRange", "IAMVideoProcAmp::Get", "IAMVideoProcAmp::Set"},
        {"IAMCameraControl::GetRange", "IAMCameraControl::Get", "IAMCameraControl::Set"},
    };
    return names[family == SettingFamily::CameraControl][call];
}

} // namespace

HRESULT settingRange(Device &device, SettingFamily family, long property, long *minimum, long *maximum, long *step,
                     long *defaultValue, long *capsFlags) {
    if (!minimum || !maximum || !step || !defaultValue || !capsFlags)
        return E_POINTER;
    PLATFORM_ENTER(operation(family, 0));
    std::unique_ptr<CameraSettings> settings = device.openSettings();
    SettingRange range;
    HRESULT hr = settings ? settings->range(family, property, range) : E_PROP_ID_UNSUPPORTED;
    if (FAILED(hr))
        return hr;
    *minimum = range.minimum;
    *maximum = range.maximum;
    *step = range.step;
    *defaultValue = range.defaultValue;
    *capsFlags = manualFlag | (range.hasAuto ? autoFlag : 0);
    return S_OK;
}

HRESULT settingGet(Device &device, SettingFamily family, long property, long *value, long *flags) {
    if (!value || !flags)
        return E_POINTER;
    PLATFORM_ENTER(operation(family, 1));
    std::unique_ptr<CameraSettings> settings = device.openSettings();
    long now = 0;
    bool automatic = false;
    HRESULT hr = settings ? settings->get(family, property, now, automatic) : E_PROP_ID_UNSUPPORTED;
    if (FAILED(hr))
        return hr;
    *value = now;
    *flags = automatic ? autoFlag : manualFlag;
    return S_OK;
}

HRESULT settingSet(Device &device, SettingFamily family, long property, long value, long flags) {
    PLATFORM_ENTER(operation(family, 2));
    if (flags != autoFlag && flags != manualFlag)
        return E_INVALIDARG;
    std::unique_ptr<CameraSettings> settings = device.openSettings();
    return settings ? settings->set(family, property, value, flags == autoFlag) : E_PROP_ID_UNSUPPORTED;
}

} // namespace platform
