// The property frame's window: the pages the platform described, in a
// notebook, above OK, Cancel and Apply, as a Windows property frame has them.
#pragma once

#include "ui/dialogs/channel.h"

namespace dialogs {

// Shows the window that opening describes and runs until it closes. The
// platform is told "shown" once it is up, each control change as it is
// made, Apply, and how it closed.
void runPropertySheet(const json &opening);

} // namespace dialogs
