// The user-interface stand-ins' record of what they were asked to show, for
// the control surface.
#pragma once

#include <quorin_platform/control.h>
#include <quorin_platform/dshow.h>

namespace platform {

void lastPropertyFrame(QuorinPropertyFrame &frame);
// The size the user picks in the next property frame, closing it with OK.
void queueUserFormat(LONG width, LONG height);
unsigned long lastMessageBoxStyle();
// Forgets recorded frames, message boxes and queued user changes.
void resetUserInterface();

} // namespace platform
