// The three calls of IAMVideoProcAmp and IAMCameraControl, answered from a
// device's settings: the interfaces' pointers checked, the flags read as
// DirectShow gives them (1 automatic, 2 by hand), and a device without
// settings offering none.
#pragma once

#include "dshow/camera_settings.h"

namespace platform {

class Device;

HRESULT settingRange(Device &device, SettingFamily family, long property, long *minimum, long *maximum, long *step,
                     long *defaultValue, long *capsFlags);
HRESULT settingGet(Device &device, SettingFamily family, long property, long *value, long *flags);
HRESULT settingSet(Device &device, SettingFamily family, long property, long value, long flags);

} // namespace platform
