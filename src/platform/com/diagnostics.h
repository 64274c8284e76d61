// The platform's diagnostic lines, said in one place (see
// <quorin_platform/diagnostics.h> for where they go).
#pragma once

#include <string>

namespace platform {

// Says line (without its newline): "quorin platform: " and it.
void say(const std::string &line);
// Says text as it is: what stands in for a window that cannot be shown.
void sayVerbatim(const std::string &text);

} // namespace platform
