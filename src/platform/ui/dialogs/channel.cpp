#include "ui/dialogs/channel.h"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace dialogs {

namespace {

std::string pending; // read but not yet taken as a line

} // namespace

bool send(const json &message) {
    std::string line = message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    for (size_t sent = 0; sent < line.size();) {
        ssize_t n = write(STDOUT_FILENO, line.data() + sent, line.size() - sent);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool receive(json &message) {
    size_t end;
    while ((end = pending.find('\n')) == std::string::npos) {
        char buffer[4096];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pending.append(buffer, static_cast<size_t>(n));
    }
    message = json::parse(pending.substr(0, end), nullptr, false);
    pending.erase(0, end + 1);
    return message.is_object();
}

bool ask(const json &request, json &answer) { return send(request) && receive(answer); }

} // namespace dialogs
