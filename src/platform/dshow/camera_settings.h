// A device's settings as DirectShow names them on its capture filter
// (IAMVideoProcAmp, IAMCameraControl), in the units Windows gives them. A
// device maps its own controls onto them: V4L2's by the table in
// v4l2_settings.cpp, a virtual camera's as it declares them. The dialogs'
// DeviceControls and these read and set the same values of the device.
#pragma once

#include "common/setting_names.h"

#include <quorin_platform/com.h>

namespace platform {

using quorin::SettingFamily;

struct SettingRange {
    long minimum = 0, maximum = 0, step = 1, defaultValue = 0;
    bool hasAuto = false; // the device can run the setting itself
};

class CameraSettings {
public:
    virtual ~CameraSettings() = default;
    // E_PROP_ID_UNSUPPORTED for a property the device does not offer.
    virtual HRESULT range(SettingFamily family, long property, SettingRange &range) = 0;
    virtual HRESULT get(SettingFamily family, long property, long &value, bool &automatic) = 0;
    // Sets the value by hand, or hands the setting to the device's automatic
    // mode (value then ignored). A failure leaves the setting as it was.
    virtual HRESULT set(SettingFamily family, long property, long value, bool automatic) = 0;
};

} // namespace platform
