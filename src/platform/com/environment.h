// The environment, read from the host's last copy of it
// (<quorin_platform/environment.h>), or from the process's own before the
// host made one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The variable's value; nothing when it is not set.
std::optional<std::string> environmentValue(const char *name);
// Every variable, as "NAME=value".
std::vector<std::string> environmentVariables();
// Forgets the host's copy: the process's own is read again (a reset).
void forgetLentEnvironment();

} // namespace platform
