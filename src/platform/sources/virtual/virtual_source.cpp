#include "sources/virtual/virtual_source.h"

#include "dshow/caller_thread.h"
#include "sources/virtual/frame_generator.h"

#include "common/locking.h"

#include <chrono>
#include <thread>

namespace platform {

namespace {

class VirtualSource final : public FrameSource {
public:
    VirtualSource(const CameraDescription &camera, const PictureSettings &picture)
        : camera_(camera), generator_(createColourBars(picture)) {}
    ~VirtualSource() override { stop(); }

    HRESULT start(const VideoFormat &format, SampleOutput &output) override {
        if (!camera_.delivers)
            return S_OK;
        // The picture is rendered once per format, not at every start.
        if (format.width != prepared_.width || format.height != prepared_.height) {
            generator_->setFormat(format);
            prepared_ = format;
        }
        {
            quorin::Lock guard(lock_);
            stopping_ = false;
        }
        thread_ = startDelivery(camera_.name, [this, &output] { deliver(output); });
        return S_OK;
    }

    void stop() override {
        if (!thread_.joinable())
            return;
        {
            quorin::Lock guard(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        joinOtherThread(thread_, "delivery");
    }

private:
    void deliver(SampleOutput &output) {
        using clock = std::chrono::steady_clock;
        const auto period =
            std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / camera_.fps));
        auto due = clock::now() + std::chrono::milliseconds(camera_.firstFrameMs);
        uint64_t sequence = 0; // counts from 0 each time the graph starts running
        for (;;) {
            if (stoppedBy(due))
                return;
            if (camera_.unpluggedAfter >= 0 && sequence >= static_cast<uint64_t>(camera_.unpluggedAfter)) {
                // Pulled out: say so, then deliver nothing until stopped.
                output.deviceLost();
                stoppedBy(clock::time_point::max());
                return;
            }
            FramePtr frame = output.takeFrame();
            generator_->render(*frame, sequence++);
            output.deliver(frame);
            frame.reset();
            auto now = clock::now();
            due += period;
            if (due < now) // fell behind (a loaded machine): skip, do not burst
                due = now;
        }
    }

    // Waits until due, or until stop() (true; at once if it was called).
    bool stoppedBy(std::chrono::steady_clock::time_point due) EXCLUDES(lock_) {
        quorin::UniqueLock guard(lock_);
        while (!stopping_) {
            if (due == std::chrono::steady_clock::time_point::max())
                guard.wait(wake_);
            else if (guard.waitUntil(wake_, due) == std::cv_status::timeout)
                return stopping_;
        }
        return true;
    }

    const CameraDescription camera_;
    std::unique_ptr<FrameGenerator> generator_;
    VideoFormat prepared_; // what the generator is set for
    std::thread thread_;   // started and joined on the caller's thread
    quorin::Mutex lock_;   // guards stopping_, which stop() sets and the thread waits on
    std::condition_variable wake_;
    bool stopping_ GUARDED_BY(lock_) = false;
};

} // namespace

std::unique_ptr<FrameSource> createVirtualSource(const CameraDescription &camera, const PictureSettings &picture) {
    return std::make_unique<VirtualSource>(camera, picture);
}

} // namespace platform
