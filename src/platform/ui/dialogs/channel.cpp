#include "ui/dialogs/channel.h"

#include "ui/json_lines.h"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace dialogs {

namespace {

std::string pending; // read but not yet taken as a line

} // namespace

// Standard output is the platform's socket: the platform starts no helper
// otherwise, and one started by hand ends before it sends anything.
bool send(const json &message) { return platform::sendLine(STDOUT_FILENO, message); }

bool receive(json &message) {
    std::string line;
    while (!platform::takeLine(pending, line)) {
        char buffer[4096];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pending.append(buffer, static_cast<size_t>(n));
    }
    message = json::parse(line, nullptr, false);
    return message.is_object();
}

bool ask(const json &request, json &answer) { return send(request) && receive(answer); }

} // namespace dialogs
