// Control surface of the platform, for tests and tools: declares cameras at
// run time, injects failures, and reports what the platform saw. The capture
// module never calls these; they are exported so that tests can reach them
// through the loaded extension (ctypes) or link them directly (GoogleTest).
#pragma once

#include <quorin_platform/com.h>

#if defined(__GNUC__)
#define QUORIN_PLATFORM_EXPORT __attribute__((visibility("default")))
#else
#define QUORIN_PLATFORM_EXPORT
#endif

extern "C" {
// Forgets injected failures, call counts, cameras added at run time,
// recorded dialogs, a requested V4L2 device format and the environment a
// host lent. Live objects are not touched.
QUORIN_PLATFORM_EXPORT void quorin_platform_reset(void);

// Adds a camera described by one JSON object (the keys of
// QUORIN_VIRTUAL_CAMERAS). Returns 0, or -1 with the reason on stderr. A
// child made by fork() starts without the cameras added so (the platform's
// records start anew there); the declared ones it lists as ever.
QUORIN_PLATFORM_EXPORT int quorin_platform_add_camera(const char *json_object);
// Whether enumeration lists the system's own capture devices before the
// virtual cameras (on unless turned off; reset leaves it as it is).
QUORIN_PLATFORM_EXPORT void quorin_platform_use_system_devices(int on);

// The pixel format (a fourcc such as "YUYV") that V4L2 devices are asked to
// stream in where they offer it, instead of the one libv4lconvert picks;
// null or "" restores that. For tests and benchmarks of the conversions.
QUORIN_PLATFORM_EXPORT void quorin_platform_v4l2_device_format(const char *fourcc);

// Removes the cameras added under that name; returns how many went.
QUORIN_PLATFORM_EXPORT int quorin_platform_remove_camera(const char *name);

// The nth call from now (1: the next one) of the named operation returns
// result without doing anything else. Operations are named
// "Interface::Method", API functions by their name, and interface queries
// "QueryInterface:IName".
QUORIN_PLATFORM_EXPORT void quorin_platform_fail(const char *operation, int nth, HRESULT result);
// Makes the nth request from now of a resource run out, as it would when the
// machine has none left: kind "memory" (picture memory), "object" (a new COM
// object) or "thread" (a source's delivery thread).
QUORIN_PLATFORM_EXPORT void quorin_platform_fail_resource(const char *kind, int nth);
// Calls of the named operation since the last reset.
QUORIN_PLATFORM_EXPORT long quorin_platform_call_count(const char *operation);

// Platform objects alive now, and task-memory blocks (strings included) not
// yet freed.
QUORIN_PLATFORM_EXPORT long quorin_platform_live_objects(void);
QUORIN_PLATFORM_EXPORT long quorin_platform_task_memory_blocks(void);
// Kernel handles (events) not yet closed.
QUORIN_PLATFORM_EXPORT long quorin_platform_open_handles(void);

// COM started and stopped on the calling thread as another library would:
// in a multithreaded apartment or a single-threaded one.
QUORIN_PLATFORM_EXPORT HRESULT quorin_platform_init_com(int multithreaded);
QUORIN_PLATFORM_EXPORT void quorin_platform_uninit_com(void);

// How many times a renderer's window showed itself since the last reset.
QUORIN_PLATFORM_EXPORT long quorin_platform_windows_shown(void);
// Samples that capture filters delivered downstream since the last reset.
QUORIN_PLATFORM_EXPORT long quorin_platform_samples_delivered(void);
// V4L2 pictures turned into samples since the last reset: at delivery where
// something reads every frame, else only those a caller took.
QUORIN_PLATFORM_EXPORT long quorin_platform_pictures_converted(void);
// V4L2 pictures copied out of the driver's buffers, to be converted later,
// since the last reset: frames that found the driver short of buffers, and
// those still holding one when the stream stopped.
QUORIN_PLATFORM_EXPORT long quorin_platform_pictures_copied(void);

// What renderers' windows on a desktop did since the last reset: windows
// the helper showed, frames offered to them on the delivery thread and the
// thread CPU time that took, frames the helper painted, and the helper now
// running (its process, 0 when none) with how many windows are open at all
// (from the graph's start until the window is gone and any fault said).
struct QuorinVideoWindowStatistics {
    long windowsShown;
    long framesOffered;
    long long offerNanoseconds;
    long framesPainted;
    long helperPid;
    long helpersRunning;
};
QUORIN_PLATFORM_EXPORT void quorin_platform_video_window_statistics(struct QuorinVideoWindowStatistics *statistics);

// What the last property frame was asked to show (since the last reset).
struct QuorinPropertyFrame {
    long shown;        // frames shown since the last reset
    uintptr_t owner;   // the owner window handle given
    int hasCaption;    // 0 when the caption was null
    char caption[256]; // the caption in UTF-8, cut to fit
    unsigned long objects;
    unsigned long pages;
    char object[32]; // "capture filter", "capture pin" or "other"
};
QUORIN_PLATFORM_EXPORT void quorin_platform_last_property_frame(struct QuorinPropertyFrame *frame);

// The user's change in the next property frame that shows no window (no
// desktop): the capture format of the device whose pages it shows becomes
// width x height (a size it offers).
QUORIN_PLATFORM_EXPORT void quorin_platform_queue_user_format(long width, long height);

// Style of the last message box, 0 when none was shown since the last reset.
QUORIN_PLATFORM_EXPORT unsigned long quorin_platform_last_message_box_style(void);
}
