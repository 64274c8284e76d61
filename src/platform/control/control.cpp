// The control surface (quorin_platform/control.h): every function of it, over
// what the layers below record and offer.
#include "com/instrumentation.h"
#include "sources/v4l2/v4l2_devices.h"
#include "sources/v4l2/v4l2_source.h"
#include "sources/virtual/virtual_camera.h"
#include "ui/user_interface.h"
#include "ui/video_window.h"
#include "com/diagnostics.h"
#include "com/environment.h"

#include <quorin_platform/control.h>

#include <cstdio>

extern "C" {

void quorin_platform_reset(void) {
    platform::resetInstrumentation();
    platform::clearRuntimeCameras();
    platform::resetUserInterface();
    platform::resetVideoWindowStatistics();
    platform::requestDeviceFormat(nullptr);
    platform::forgetLentEnvironment();
}

int quorin_platform_add_camera(const char *json_object) {
    platform::CameraDescription camera;
    std::string error;
    if (!json_object || !platform::parseCamera(json_object, camera, error)) {
        platform::say(std::string("camera: ") + (json_object ? error : "no description"));
        return -1;
    }
    platform::addRuntimeCamera(camera);
    return 0;
}

int quorin_platform_remove_camera(const char *name) { return name ? platform::removeRuntimeCameras(name) : 0; }

void quorin_platform_use_system_devices(int on) { platform::useSystemDevices(on != 0); }

void quorin_platform_v4l2_device_format(const char *fourcc) { platform::requestDeviceFormat(fourcc); }

HRESULT quorin_platform_init_com(int multithreaded) {
    return CoInitializeEx(nullptr, multithreaded ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
}

void quorin_platform_uninit_com(void) { CoUninitialize(); }

void quorin_platform_fail(const char *operation, int nth, HRESULT result) {
    if (operation && nth >= 1)
        platform::injectFailure(operation, nth, result);
}

void quorin_platform_fail_resource(const char *kind, int nth) {
    if (kind && nth >= 1)
        platform::injectResourceFailure(kind, nth);
}

long quorin_platform_call_count(const char *operation) { return operation ? platform::callCount(operation) : 0; }

long quorin_platform_live_objects(void) { return platform::liveObjects; }
long quorin_platform_task_memory_blocks(void) { return platform::taskMemoryBlocks; }
long quorin_platform_open_handles(void) { return platform::openHandles; }
long quorin_platform_windows_shown(void) { return platform::windowsShown; }
long quorin_platform_samples_delivered(void) { return platform::samplesDelivered; }

long quorin_platform_pictures_converted(void) { return platform::picturesConverted; }
long quorin_platform_pictures_copied(void) { return platform::picturesCopied; }

void quorin_platform_video_window_statistics(QuorinVideoWindowStatistics *statistics) {
    if (statistics)
        platform::videoWindowStatistics(*statistics);
}

void quorin_platform_last_property_frame(QuorinPropertyFrame *frame) {
    if (frame)
        platform::lastPropertyFrame(*frame);
}

void quorin_platform_queue_user_format(long width, long height) {
    platform::queueUserFormat(static_cast<LONG>(width), static_cast<LONG>(height));
}

unsigned long quorin_platform_last_message_box_style(void) { return platform::lastMessageBoxStyle(); }

} // extern "C"
