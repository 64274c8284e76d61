#pragma once

namespace platform {

// Forgets recorded frames, message boxes and queued user changes.
void resetUserInterface();

} // namespace platform
