// The program that shows the platform's windows (dialogs/): started for one
// dialog, spoken to in lines of JSON over a socket that is its standard input
// and output, and waited for. No toolkit is loaded into the caller's process.
#pragma once

#include "ui/stop_signal.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <deque>
#include <string>
#include <vector>
#include <sys/types.h>

namespace platform {

// The helper to start for a window, or empty when no window can be shown:
// no display is named (DISPLAY or WAYLAND_DISPLAY), or there is no helper.
// The helper is QUORIN_DIALOG_HELPER when set, otherwise "quorin-dialogs"
// beside the library that holds the platform (not built without its
// toolkit). The helper itself says when it cannot open the display named.
std::string desktopHelper();

// How long the helper may take to open its window: a toolkit's start on a
// slow machine (an emulated one) takes seconds, never this long.
constexpr int helperOpeningMs = 60000;
// How long a helper that said it closed may take to exit.
constexpr int helperExitMs = 5000;
// How long a helper may leave a message to it unread: one that reads
// nothing for this long is hung.
constexpr int helperReadingMs = 5000;

class HelperProcess {
public:
    // Takes the environment the helper will start with, from the calling
    // thread: make it on the caller's thread, since the interpreter changes
    // the process's environment (os.environ) on that thread alone.
    HelperProcess();
    HelperProcess(const HelperProcess &) = delete;
    HelperProcess &operator=(const HelperProcess &) = delete;
    // Kills a helper that is still running and reaps it.
    ~HelperProcess();

    // Starts program; false when it cannot be run, with a line that says
    // why ("cannot start PROGRAM: REASON"). The descriptors passed become
    // the helper's 3, 4, ... in turn; it inherits nothing else of ours.
    bool start(const std::string &program, std::string &error, const std::vector<int> &passed = {});
    // False when the helper is gone, or hung: it left what was sent before
    // unread for helperReadingMs (stoppedReading() then says so). Never
    // waits longer.
    bool send(const nlohmann::json &message);
    bool stoppedReading() const { return stoppedReading_; }

    enum class Received { Message, Ended, TimedOut, Malformed, Abandoned };
    // The next message, waiting at most timeoutMs (negative: for as long as
    // the helper runs and keeps its end open). A helper that exits has
    // Ended, even where a process it started still holds its end. Where
    // stop is given, the wait is Abandoned as soon as it is raised. One
    // poll() waits for all three: no slice, no guess.
    Received receive(nlohmann::json &message, int timeoutMs, const StopSignal *stop = nullptr);

    // False when a helper says "shown" again faster than a desktop hides
    // and shows a window: it is in a loop, and is to be refused.
    bool shownAgain();

    enum class Opening { Shown, NoDisplay, Failed };
    // Starts program (see start), sends opening, and waits until the helper
    // says its window is up. NoDisplay when it cannot open the display
    // named; Failed, with fault set, when it cannot start, ends, sends what
    // it cannot have meant or opens no window within helperOpeningMs (it is
    // then ended), and with fault empty when abandon turned true.
    Opening open(const std::string &program, const nlohmann::json &opening, std::string &fault,
                 const std::vector<int> &passed = {}, const StopSignal *stop = nullptr);

    // Waits up to graceMs for the helper to exit, then kills it; returns how
    // it ended ("exit status 0", "killed by signal 9").
    std::string finish(int graceMs);

    // Ends a helper that sent what it cannot have meant (it is killed) and
    // says so: "the helper sent a message it cannot have meant (HOW)".
    std::string refuse();
    // Ends a helper that sent nothing wrong but is hung (it is killed) and
    // says why: what stoppedReading() or shownAgain() found.
    std::string refuseHung();

    // The helper's process, while it runs (-1 before and after).
    pid_t pid() const { return pid_; }

private:
    // Reaps the helper if it has exited; true when it has.
    bool exited();
    // Waits up to ms for it to exit; true when it has.
    bool exitsWithin(int ms);

    pid_t pid_ = -1;
    int pidfd_ = -1; // the helper's, from its start until it is reaped
    bool reaped_ = false;
    std::string ended_; // how it ended, once reaped
    int socket_ = -1;
    bool stoppedReading_ = false;
    std::deque<std::chrono::steady_clock::time_point> shown_; // the last "shown"s, newest last
    std::vector<std::string> environment_;
    std::string pending_; // received bytes not yet taken as lines
};

} // namespace platform
