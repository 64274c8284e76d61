#include "instrumentation.h"
#include "user_interface.h"
#include "virtual_camera.h"

#include <quorin_platform/control.h>

extern "C" void quorin_platform_reset(void) {
    platform::resetInstrumentation();
    platform::clearRuntimeCameras();
    platform::resetUserInterface();
    quorin_platform_v4l2_device_format(nullptr);
}
