#include "ui/video_window.h"
#include "com/diagnostics.h"
#include "dshow/caller_thread.h"

#include "ui/dialog_protocol.h"
#include "ui/frame_slots.h"
#include "ui/helper_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <fcntl.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

using nlohmann::json;
namespace key = protocol::key;

// How long a helper whose window closes may take to exit before it is
// killed: the window must be gone within a second of the stop, and the stop
// wakes the window's thread at once.
constexpr int closingMs = 500;
// A helper that takes no frame for this long, while frames come, is hung.
constexpr int hungMs = 5000;

struct Statistics {
    std::atomic<long> windowsShown{0};
    std::atomic<long> framesOffered{0};
    std::atomic<long long> offerNanoseconds{0};
    std::atomic<long> framesPainted{0};
    std::atomic<long> helperPid{0};
    std::atomic<long> helpersRunning{0};
};

Statistics &statistics() {
    static Statistics counts;
    return counts;
}

long long threadNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void sayFault(const std::string &what) { say("video window: " + what + "; capture goes on without it"); }

class VideoWindow final : public RendererWindow {
public:
    ~VideoWindow() override {
        if (watcher_.joinable()) {
            closing_.raise();
            joinOtherThread(watcher_, "video window");
        }
        if (file_)
            munmap(file_, fileBytes_);
        if (notices_ >= 0)
            close(notices_);
        if (noticeReader_ >= 0)
            close(noticeReader_);
        if (memory_ >= 0)
            close(memory_);
    }

    // Makes the slots and starts the window's thread; false, with what
    // failed in error, when the system has no room for them.
    bool open(const std::string &program, const std::string &caption, const VideoFormat &format, std::string &error) {
        if (!closing_.usable())
            return systemError("cannot make the signal that closes it", error);
        slotBytes_ = format.imageSize();
        fileBytes_ = frameslots::fileBytes(slotBytes_);
        memory_ = memfd_create("quorin-video-window", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (memory_ < 0 || ftruncate(memory_, static_cast<off_t>(fileBytes_)) != 0 ||
            fcntl(memory_, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0)
            return systemError("cannot make the shared memory for its frames", error);
        void *mapped = mmap(nullptr, fileBytes_, PROT_READ | PROT_WRITE, MAP_SHARED, memory_, 0);
        if (mapped == MAP_FAILED)
            return systemError("cannot map the shared memory for its frames", error);
        file_ = mapped;
        header_ = new (file_) frameslots::Header{};
        header_->magic = frameslots::magic;
        header_->width = static_cast<uint32_t>(format.width);
        header_->height = static_cast<uint32_t>(format.height);
        header_->stride = static_cast<uint32_t>(format.stride());
        header_->slotBytes = slotBytes_;
        header_->exchange.store(frameslots::exchangeFirst, std::memory_order_release);
        // A pipe, not an eventfd: the helper's end is an open file of its
        // own, so whatever the helper does to it (clearing O_NONBLOCK,
        // filling it) cannot make the delivery thread's write block.
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return systemError("cannot make the pipe for its notices", error);
        noticeReader_ = ends[0];
        notices_ = ends[1];
        json opening = {{key::dialog, protocol::nameOf(protocol::Dialog::Video)},
                        {key::caption, caption},
                        {key::width, format.width},
                        {key::height, format.height},
                        {key::stride, format.stride()}};
        // Counted from here, on the caller's thread, until the window's
        // thread has said its fault: a caller that sees none running knows
        // the window is over, and said.
        ++statistics().helpersRunning;
        try {
            watcher_ =
                std::thread(&VideoWindow::watch, this, program, std::move(opening), std::make_unique<HelperProcess>());
        } catch (const std::exception &) {
            --statistics().helpersRunning;
            error = "cannot start the thread that watches it";
            return false;
        }
        return true;
    }

    void offer(const Frame &frame) override {
        if (!wanted_ || frame.pictureSize() != slotBytes_)
            return;
        const long long started = threadNanoseconds();
        if (frame.readInto(frameslots::slotAt(file_, slotBytes_, writing_))) {
            std::optional<uint32_t> next = frameslots::publish(*header_, writing_);
            if (next) {
                writing_ = *next;
                ++published_;
                // Never blocks: a full pipe (a helper that stopped reading)
                // drops the notice, and the helper's next read finds the
                // newest frame all the same.
                const char notice = 1;
                ssize_t written = write(notices_, &notice, 1);
                (void)written;
            } else {
                misled_ = true;
                wanted_ = false;
            }
        }
        Statistics &counts = statistics();
        ++counts.framesOffered;
        counts.offerNanoseconds += threadNanoseconds() - started;
    }

    bool wanted() const override { return wanted_; }

private:
    bool systemError(const char *what, std::string &error) {
        error = std::string(what) + ": " + std::strerror(errno);
        return false;
    }

    // The window's thread: the helper's whole life. Nothing escapes it: a
    // failure to allocate ends the helper (its holder kills and reaps it).
    void watch(const std::string &program, const json &opening, std::unique_ptr<HelperProcess> made) {
        std::string fault;
        try {
            HelperProcess &helper = *made;
            HelperProcess::Opening opened = helper.open(program, opening, fault, {memory_, noticeReader_}, &closing_);
            if (opened == HelperProcess::Opening::Shown) {
                ++statistics().windowsShown;
                statistics().helperPid = helper.pid();
                fault = follow(helper);
            }
        } catch (const std::exception &) {
            fault = "out of memory while it showed";
        }
        made.reset(); // the helper is ended and reaped
        statistics().helperPid = 0;
        wanted_ = false;
        if (!fault.empty())
            sayFault(fault);
        --statistics().helpersRunning;
    }

    // Follows a helper whose window is up until the window closes; the
    // fault that ended it, if one did.
    std::string follow(HelperProcess &helper) {
        using clock = std::chrono::steady_clock;
        uint64_t takenSeen = header_->taken.load(std::memory_order_relaxed);
        uint64_t paintedSeen = header_->painted.load(std::memory_order_relaxed);
        uint64_t publishedSeen = published_;
        auto lastTaken = clock::now();
        for (;;) {
            // Wakes for a message, the helper's exit or the stop; else once
            // the helper has had hungMs to take a frame.
            auto left = std::chrono::milliseconds(hungMs) - (clock::now() - lastTaken);
            int waitMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1;
            json message;
            HelperProcess::Received received = helper.receive(message, std::max(waitMs, 1), &closing_);
            // Counts the helper's paintings as it reports them; only a
            // number, whatever it writes there.
            uint64_t painted = header_->painted.load(std::memory_order_relaxed);
            statistics().framesPainted += static_cast<long>(painted - paintedSeen);
            paintedSeen = painted;
            if (misled_)
                return "the helper left a slot that is no slot of its frames (" + helper.finish(0) + ")";
            switch (received) {
            case HelperProcess::Received::Abandoned:
                helper.finish(closingMs);
                return {};
            case HelperProcess::Received::TimedOut: {
                uint64_t taken = header_->taken.load(std::memory_order_relaxed);
                if (taken != takenSeen || published_ == publishedSeen) {
                    takenSeen = taken;
                    publishedSeen = published_;
                    lastTaken = clock::now();
                } else if (clock::now() - lastTaken >= std::chrono::milliseconds(hungMs)) {
                    return "the helper took no frame for " + std::to_string(hungMs / 1000) + " s (" + helper.finish(0) +
                           ")";
                }
                continue;
            }
            case HelperProcess::Received::Message:
                if (protocol::read<protocol::Closed>(message, key::close)) {
                    // Its user closed it: gone for the rest of this run.
                    wanted_ = false;
                    helper.finish(helperExitMs);
                    return {};
                }
                if (protocol::read<bool>(message, key::shown) == true) {
                    if (helper.shownAgain())
                        continue; // shown again after the desktop hid it
                    return helper.refuseHung();
                }
                return helper.refuse();
            case HelperProcess::Received::Malformed:
                return helper.refuse();
            case HelperProcess::Received::Ended:
                return "the helper ended while its window showed (" + helper.finish(helperExitMs) + ")";
            }
        }
    }

    size_t slotBytes_ = 0;
    size_t fileBytes_ = 0;
    int memory_ = -1;       // the slots' file
    int notices_ = -1;      // the write end of a pipe: a byte a frame swapped in
    int noticeReader_ = -1; // its read end, the helper's
    void *file_ = nullptr;
    frameslots::Header *header_ = nullptr;
    // The delivery thread's: the slot it writes next, and how many frames
    // it swapped in (read by the window's thread).
    uint32_t writing_ = frameslots::writerFirst;
    std::atomic<uint64_t> published_{0};
    std::atomic<bool> wanted_{true};
    StopSignal closing_;              // the caller's: the window must go
    std::atomic<bool> misled_{false}; // the helper left no slot's index
    std::thread watcher_;
};

} // namespace

std::unique_ptr<RendererWindow> openRendererWindow(const std::string &caption, const VideoFormat &format) {
    try {
        std::string program = desktopHelper();
        if (program.empty())
            return nullptr;
        auto window = std::make_unique<VideoWindow>();
        std::string error;
        if (!window->open(program, caption, format, error)) {
            sayFault(error);
            return nullptr;
        }
        return window;
    } catch (const std::exception &) {
        sayFault("out of memory as it opened");
        return nullptr;
    }
}

void videoWindowStatistics(QuorinVideoWindowStatistics &out) {
    Statistics &counts = statistics();
    out.windowsShown = counts.windowsShown;
    out.framesOffered = counts.framesOffered;
    out.offerNanoseconds = counts.offerNanoseconds;
    out.framesPainted = counts.framesPainted;
    out.helperPid = counts.helperPid;
    out.helpersRunning = counts.helpersRunning;
}

void resetVideoWindowStatistics() {
    Statistics &counts = statistics();
    counts.windowsShown = 0;
    counts.framesOffered = 0;
    counts.offerNanoseconds = 0;
    counts.framesPainted = 0;
}

} // namespace platform
