#include "ui/helper_process.h"

#include "ui/dialog_protocol.h"
#include "ui/json_lines.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace platform {

namespace {

// A line longer than this is no message of the helper's.
constexpr size_t longestLine = 1 << 20;
// How often a wait for the helper's next message looks whether it exited.
constexpr int exitCheckMs = 100;

// The environment the helper starts with: ours, less what only this process
// reads. A camera declaration can be larger than one variable may be when a
// program starts (128 KB), and the helper has no use for it.
std::vector<std::string> helperEnvironment() {
    std::vector<std::string> kept;
    for (char **variable = environ; *variable; ++variable)
        if (std::strncmp(*variable, "QUORIN_VIRTUAL_CAMERAS=", 23) != 0)
            kept.emplace_back(*variable);
    return kept;
}

std::string describeStatus(int status) {
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

} // namespace

std::string desktopHelper() {
    bool displayNamed = false;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        displayNamed = displayNamed || (value && *value);
    }
    if (!displayNamed)
        return {};
    const char *chosen = std::getenv("QUORIN_DIALOG_HELPER");
    if (chosen && *chosen)
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
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

bool HelperProcess::start(const std::string &program, std::string &error, const std::vector<int> &passed) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        error = std::string("cannot make the socket pair to the helper: ") + std::strerror(errno);
        return false;
    }
    // Each passed descriptor is first copied above the numbers it goes to,
    // so that no copy lands on one still to be copied, and so that none is
    // already its target (dup2 onto itself keeps close-on-exec).
    const int firstPassed = STDERR_FILENO + 1;
    std::vector<int> copies;
    for (int fd : passed) {
        int copy = fcntl(fd, F_DUPFD_CLOEXEC, firstPassed + static_cast<int>(passed.size()));
        if (copy < 0) {
            error = std::string("cannot pass the helper its shared memory: ") + std::strerror(errno);
            for (int made : copies)
                close(made);
            close(ends[0]);
            close(ends[1]);
            return false;
        }
        copies.push_back(copy);
    }
    // Its standard error is ours opened anew where that can be done (a file,
    // appended to; a pipe; a terminal), so that what it does to the flags of
    // its open file (O_NONBLOCK) is not done to ours.
    int errors = ::open("/proc/self/fd/2", O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (errors >= 0)
        posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    // dup2 clears close-on-exec on the copies: the helper keeps its end as
    // standard input and output, what was passed, and nothing else of ours.
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    for (size_t k = 0; k < copies.size(); ++k)
        posix_spawn_file_actions_adddup2(&actions, copies[k], firstPassed + static_cast<int>(k));
    // Descriptors the caller's process opened without close-on-exec (a
    // library's, a test runner's) stay ours too.
    posix_spawn_file_actions_addclosefrom_np(&actions, firstPassed + static_cast<int>(copies.size()));
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};
    std::vector<char *> environment;
    for (std::string &variable : environment_)
        environment.push_back(&variable[0]);
    environment.push_back(nullptr);
    int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (errors >= 0)
        close(errors);
    for (int copy : copies)
        close(copy);
    close(ends[1]);
    if (failed) {
        pid_ = -1;
        close(ends[0]);
        error = "cannot start " + program + ": " + std::strerror(failed);
        return false;
    }
    socket_ = ends[0];
    return true;
}

bool HelperProcess::send(const nlohmann::json &message) { return sendLine(socket_, message); }

HelperProcess::Received HelperProcess::receive(nlohmann::json &message, int timeoutMs,
                                               const std::atomic<bool> *abandon) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::string line;
    while (!takeLine(pending_, line)) {
        if (pending_.size() > longestLine)
            return Received::Malformed;
        if (abandon && *abandon)
            return Received::Abandoned;
        // Waits in slices, looking between them whether the helper exited:
        // a process it started may hold its end open long after.
        int wait = reaped_ ? 0 : exitCheckMs;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
            if (left <= 0)
                return Received::TimedOut;
            wait = std::min(wait, static_cast<int>(left));
        }
        pollfd readable{socket_, POLLIN, 0};
        int ready = poll(&readable, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Received::Ended;
        if (ready == 0) {
            // Once it has exited, what it sent before is still taken: one
            // more look at the socket, then it has ended.
            if (reaped_)
                return Received::Ended;
            exited();
            continue;
        }
        char buffer[4096];
        ssize_t n = recv(socket_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Received::Ended;
        pending_.append(buffer, static_cast<size_t>(n));
    }
    message = nlohmann::json::parse(line, nullptr, false);
    return message.is_object() ? Received::Message : Received::Malformed;
}

HelperProcess::Opening HelperProcess::open(const std::string &program, const nlohmann::json &opening,
                                           std::string &fault, const std::vector<int> &passed,
                                           const std::atomic<bool> *abandon) {
    namespace key = protocol::key;
    if (!start(program, fault, passed))
        return Opening::Failed;
    nlohmann::json message;
    Received received = send(opening) ? receive(message, helperOpeningMs, abandon) : Received::Ended;
    bool meant = received == Received::Message;
    if (meant && protocol::read<bool>(message, key::nodisplay) == true) {
        finish(helperExitMs);
        return Opening::NoDisplay;
    }
    if (meant && protocol::read<bool>(message, key::shown) == true)
        return Opening::Shown;
    if (received == Received::Abandoned)
        finish(0);
    else if (received == Received::TimedOut)
        fault =
            "the helper opened no window within " + std::to_string(helperOpeningMs / 1000) + " s (" + finish(0) + ")";
    else if (meant || received == Received::Malformed)
        fault = refuse();
    else
        fault = "the helper ended before its window opened (" + finish(helperExitMs) + ")";
    return Opening::Failed;
}

std::string HelperProcess::refuse() { return "the helper sent a message it cannot have meant (" + finish(0) + ")"; }

bool HelperProcess::exited() {
    if (!reaped_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_)
        reaped_ = true;
    return reaped_;
}

std::string HelperProcess::finish(int graceMs) {
    // Without grace it is killed before its socket closes: else it may see
    // the socket close and end by itself first, and how it ended would say
    // so instead.
    if (graceMs <= 0 && pid_ > 0 && !exited())
        kill(pid_, SIGKILL);
    if (socket_ >= 0)
        close(socket_);
    socket_ = -1;
    if (pid_ <= 0)
        return {};
    if (exited()) {
        pid_ = -1;
        return describeStatus(status_);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    for (;;) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return describeStatus(status);
}

} // namespace platform
