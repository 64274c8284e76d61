// The renderer's window: the live video from the platform's shared frame
// slots, drawn as frames come, scaled with its aspect kept when resized.
#pragma once

#include "ui/dialogs/channel.h"

namespace dialogs {

// Shows the window that opening describes, over the slots in descriptor 3
// and their notices in 4, and runs until its user closes it (the platform
// is told) or the platform goes. False, with a line on stderr, when the
// slots are not what opening says.
bool runVideoWindow(const json &opening);

} // namespace dialogs
