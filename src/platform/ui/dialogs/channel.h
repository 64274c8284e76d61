// The helper's end of its socket to the platform: its standard input and
// output, one JSON message per line. Every request waits for its answer; the
// platform never speaks unasked.
#pragma once

#include <nlohmann/json.hpp>

namespace dialogs {

using nlohmann::json;

// False when the platform is gone.
bool send(const json &message);
// The next message; false when the platform is gone or sent no object.
bool receive(json &message);
// A request and its answer; false when the platform is gone.
bool ask(const json &request, json &answer);

} // namespace dialogs
