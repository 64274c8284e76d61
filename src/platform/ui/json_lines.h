// How the platform and its dialog helper speak: one JSON object per line
// over a socket. Both sides' ends use these, so the framing is written once.
#pragma once

#include <nlohmann/json.hpp>

#include <cerrno>
#include <string>
#include <sys/socket.h>

namespace platform {

// message as the line that carries it; text that is not UTF-8 is replaced,
// not thrown over.
inline std::string lineOf(const nlohmann::json &message) {
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Writes message as one line to the socket fd; false when the other end is
// gone. Never raises SIGPIPE: the process it runs in may not ignore it.
inline bool sendLine(int fd, const nlohmann::json &message) {
    std::string line = lineOf(message);
    for (size_t sent = 0; sent < line.size();) {
        ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Moves the first whole line of pending (bytes received, not yet taken)
// into line, without its newline; false while none has arrived whole.
inline bool takeLine(std::string &pending, std::string &line) {
    size_t end = pending.find('\n');
    if (end == std::string::npos)
        return false;
    line.assign(pending, 0, end);
    pending.erase(0, end + 1);
    return true;
}

} // namespace platform
