#include "ui/helper_process.h"

#include "ui/dialog_protocol.h"
#include "ui/json_lines.h"
#include "ui/spawn.h"
#include "com/diagnostics.h"
#include "com/environment.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// A line longer than this is no message of the helper's.
constexpr size_t longestLine = 1 << 20;
// How long a killed helper may take to be gone.
constexpr int killedExitMs = 1000;
// A desktop hides and shows a window a few times a second at most.
constexpr size_t shownPerSecond = 20;

// The environment the helper starts with: ours, less what only this process
// reads. A camera declaration can be larger than one variable may be when a
// program starts (128 KB), and the helper has no use for it.
std::vector<std::string> helperEnvironment() {
    std::vector<std::string> kept = environmentVariables();
    kept.erase(std::remove_if(
                   kept.begin(), kept.end(),
                   [](const std::string &variable) { return variable.compare(0, 23, "QUORIN_VIRTUAL_CAMERAS=") == 0; }),
               kept.end());
    return kept;
}

// Kills the helper through its pidfd, never a pid another may now have (the
// system call itself: glibc 2.36's header declares it for C alone).
void kill(int pidfd) { syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0U); }

std::string describeEnd(const siginfo_t &ended) {
    if (ended.si_code == CLD_EXITED)
        return "exit status " + std::to_string(ended.si_status);
    return "killed by signal " + std::to_string(ended.si_status);
}

} // namespace

std::string desktopHelper() {
    bool displayNamed = false;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"})
        displayNamed = displayNamed || !environmentValue(name).value_or("").empty();
    if (!displayNamed)
        return {};
    std::string chosen = environmentValue("QUORIN_DIALOG_HELPER").value_or("");
    if (!chosen.empty())
        return chosen;
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void *>(&desktopHelper), &self) || !self.dli_fname)
        return {};
    std::string path = self.dli_fname;
    size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/quorin-dialogs";
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

HelperProcess::HelperProcess() : environment_(helperEnvironment()) {}

HelperProcess::~HelperProcess() {
    if (socket_ >= 0)
        close(socket_);
    if (pidfd_ >= 0 && !exited()) {
        kill(pidfd_);
        exitsWithin(killedExitMs);
    }
    if (pidfd_ >= 0)
        close(pidfd_);
}

bool HelperProcess::start(const std::string &program, std::string &error, const std::vector<int> &passed) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        error = std::string("cannot make the socket pair to the helper: ") + std::strerror(errno);
        return false;
    }
    // Its standard error is ours opened anew where that can be done (a file,
    // appended to; a pipe; a terminal), so that what it does to the flags of
    // its open file (O_NONBLOCK) is not done to ours.
    int errors = ::open("/proc/self/fd/2", O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
    // Its end is its standard input and output; then its standard error,
    // and what was passed.
    std::vector<int> descriptors{ends[1], ends[1], errors >= 0 ? errors : STDERR_FILENO};
    descriptors.insert(descriptors.end(), passed.begin(), passed.end());
    Child child;
    int failed = spawnChild(program, environment_, descriptors, child);
    if (errors >= 0)
        close(errors);
    close(ends[1]);
    if (failed) {
        close(ends[0]);
        error = "cannot start " + program + ": " + std::strerror(failed);
        return false;
    }
    pid_ = child.pid;
    pidfd_ = child.pidfd;
    socket_ = ends[0];
    return true;
}

bool HelperProcess::send(const nlohmann::json &message) {
    if (socket_ < 0)
        return false;
    std::string line = lineOf(message);
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(helperReadingMs);
    for (size_t sent = 0; sent < line.size();) {
        ssize_t n = ::send(socket_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return false;
        // Its socket is full: it has room again once the helper reads, and
        // a helper that exits will never read.
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) {
            stoppedReading_ = true;
            return false;
        }
        pollfd watched[2] = {{socket_, POLLOUT, 0}, {pidfd_, POLLIN, 0}};
        int ready = poll(watched, reaped_ ? 1 : 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0 && watched[0].revents == 0 && exited())
            return false;
    }
    return true;
}

HelperProcess::Received HelperProcess::receive(nlohmann::json &message, int timeoutMs, const StopSignal *stop) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::string line;
    while (!takeLine(pending_, line)) {
        if (pending_.size() > longestLine)
            return Received::Malformed;
        if (stop && stop->raised())
            return Received::Abandoned;
        // Once it has exited, what it sent before is still taken: one more
        // look at the socket, then it has ended, even where a process it
        // started holds its end open.
        int wait = reaped_ ? 0 : -1;
        if (timeoutMs >= 0 && !reaped_) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
            if (left <= 0)
                return Received::TimedOut;
            wait = static_cast<int>(left);
        }
        pollfd watched[3] = {{socket_, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        if (!reaped_)
            watched[1].fd = pidfd_;
        if (stop)
            watched[2].fd = stop->fd();
        int ready = poll(watched, 3, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Received::Ended;
        if (ready == 0 && reaped_)
            return Received::Ended;
        if (watched[2].revents)
            continue; // raised: said above
        if (watched[1].revents)
            exited();
        if (!watched[0].revents)
            continue;
        char buffer[4096];
        ssize_t n = recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return Received::Ended;
        pending_.append(buffer, static_cast<size_t>(n));
    }
    message = nlohmann::json::parse(line, nullptr, false);
    return message.is_object() ? Received::Message : Received::Malformed;
}

bool HelperProcess::shownAgain() {
    using clock = std::chrono::steady_clock;
    const auto now = clock::now();
    while (!shown_.empty() && now - shown_.front() > std::chrono::seconds(1))
        shown_.pop_front();
    shown_.push_back(now);
    return shown_.size() <= shownPerSecond;
}

HelperProcess::Opening HelperProcess::open(const std::string &program, const nlohmann::json &opening,
                                           std::string &fault, const std::vector<int> &passed, const StopSignal *stop) {
    namespace key = protocol::key;
    if (!start(program, fault, passed))
        return Opening::Failed;
    nlohmann::json message;
    Received received = send(opening) ? receive(message, helperOpeningMs, stop) : Received::Ended;
    bool meant = received == Received::Message;
    if (meant && protocol::read<bool>(message, key::nodisplay) == true) {
        // A display without a toolkit: said once a process, since every
        // graph's start would say it again.
        static std::atomic<bool> saidWhy{false};
        std::optional<std::string> reason = protocol::read<std::string>(message, key::reason);
        if (reason && !saidWhy.exchange(true))
            platform::say("dialogs: no window can be shown: " + *reason);
        finish(helperExitMs);
        return Opening::NoDisplay;
    }
    if (meant && protocol::read<bool>(message, key::shown) == true) {
        shownAgain();
        return Opening::Shown;
    }
    if (received == Received::Abandoned)
        finish(0);
    else if (received == Received::TimedOut)
        fault =
            "the helper opened no window within " + std::to_string(helperOpeningMs / 1000) + " s (" + finish(0) + ")";
    else if (stoppedReading_)
        fault = refuseHung();
    else if (meant || received == Received::Malformed)
        fault = refuse();
    else
        fault = "the helper ended before its window opened (" + finish(helperExitMs) + ")";
    return Opening::Failed;
}

std::string HelperProcess::refuse() { return "the helper sent a message it cannot have meant (" + finish(0) + ")"; }

std::string HelperProcess::refuseHung() {
    if (stoppedReading_)
        return "the helper read nothing for " + std::to_string(helperReadingMs / 1000) + " s (" + finish(0) + ")";
    return "the helper said again and again that its window was shown (" + finish(0) + ")";
}

bool HelperProcess::exited() {
    if (reaped_ || pidfd_ < 0)
        return reaped_;
    siginfo_t ended{};
    if (waitid(P_PIDFD, static_cast<id_t>(pidfd_), &ended, WEXITED | WNOHANG) == 0) {
        if (ended.si_pid == 0)
            return false; // still running
        ended_ = describeEnd(ended);
    } else if (errno == ECHILD) {
        // Another wait in this process (os.wait()) took its status first.
        ended_ = "ended, its status taken by another wait";
    } else {
        return false;
    }
    reaped_ = true;
    return true;
}

bool HelperProcess::exitsWithin(int ms) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(ms);
    while (!exited()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return false;
        pollfd ends{pidfd_, POLLIN, 0};
        if (poll(&ends, 1, static_cast<int>(left)) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

std::string HelperProcess::finish(int graceMs) {
    // Without grace it is killed before its socket closes: else it may see
    // the socket close and end by itself first, and how it ended would say
    // so instead.
    if (graceMs <= 0 && pidfd_ >= 0 && !exited())
        kill(pidfd_);
    if (socket_ >= 0)
        close(socket_);
    socket_ = -1;
    if (pidfd_ < 0)
        return {};
    if (!exitsWithin(graceMs)) {
        kill(pidfd_);
        // A killed process ends at once, unless the kernel holds it in a
        // wait of its own (a dead file system): then it is left, not waited
        // for without end.
        if (!exitsWithin(killedExitMs))
            ended_ = "still running after it was killed";
    }
    close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
    return ended_;
}

} // namespace platform
