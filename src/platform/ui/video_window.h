// The renderer's window on a desktop: the dialog helper draws it, from the
// frames that the renderer hands over in shared slots (ui/frame_slots.h).
//
// Threads. The caller's thread opens and closes it (the renderer's onRun and
// onStop); the delivery thread offers each frame; a thread of the window's
// own starts the helper, reads what it says, watches that it keeps taking
// frames and ends it. The delivery thread never waits for either: a frame is
// copied into the slot it owns, swapped in, and noticed on a pipe.
#pragma once

#include "dshow/video_renderer.h"

#include <quorin_platform/control.h>

namespace platform {

// What the video windows did since the last reset, for the control surface.
void videoWindowStatistics(QuorinVideoWindowStatistics &statistics);
void resetVideoWindowStatistics();

} // namespace platform
