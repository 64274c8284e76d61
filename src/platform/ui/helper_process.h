// The program that shows the platform's windows (dialogs/): started for one
// dialog, spoken to in lines of JSON over a socket that is its standard input
// and output, and waited for. No toolkit is loaded into the caller's process.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <sys/types.h>

namespace platform {

// The helper to start for a window, or empty when no window can be shown:
// no display is named (DISPLAY or WAYLAND_DISPLAY), or there is no helper.
// The helper is QUORIN_DIALOG_HELPER when set, otherwise "quorin-dialogs"
// beside the library that holds the platform (not built without its
// toolkit). The helper itself says when it cannot open the display named.
std::string desktopHelper();

class HelperProcess {
public:
    HelperProcess() = default;
    HelperProcess(const HelperProcess &) = delete;
    HelperProcess &operator=(const HelperProcess &) = delete;
    // Kills a helper that is still running and reaps it.
    ~HelperProcess();

    // Starts program; false when it cannot be run, with a line that says
    // why ("cannot start PROGRAM: REASON").
    bool start(const std::string &program, std::string &error);
    // False when the helper is gone.
    bool send(const nlohmann::json &message);

    enum class Received { Message, Ended, TimedOut, Malformed };
    // The next message, waiting at most timeoutMs (negative: for as long as
    // the helper runs and keeps its end open). A helper that exits has
    // Ended, even where a process it started still holds its end.
    Received receive(nlohmann::json &message, int timeoutMs);

    // Waits up to graceMs for the helper to exit, then kills it; returns how
    // it ended ("exit status 0", "killed by signal 9").
    std::string finish(int graceMs);

private:
    // Reaps the helper if it has exited; true when it has.
    bool exited();

    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0; // how it ended, once reaped
    int socket_ = -1;
    std::string pending_; // received bytes not yet taken as lines
};

} // namespace platform
