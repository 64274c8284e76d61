#include "sources/v4l2/v4l2_source.h"

#include "com/guard.h"
#include "dshow/caller_thread.h"
#include "com/instrumentation.h"
#include "sources/v4l2/v4l2_conversion.h"
#include "sources/v4l2/v4l2_io.h"
#include "sources/v4l2/v4l2_modes.h"
#include "com/process_state.h"
#include "common/locking.h"

#include <libv4l-plugin.h>
#include <libv4lconvert.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::atomic<uint32_t> requestedDeviceFormat{0};

// The nodes that this process's sources hold, each with the file it holds
// it by (-1 while it is being opened). Never destroyed: a delivery thread
// may outlive the interpreter's end.
class ClaimedFiles {
public:
    // False when another source holds path.
    bool reserve(const std::string &path) {
        quorin::Lock guard(lock_);
        return files_.emplace(path, -1).second;
    }
    void hold(const std::string &path, int fd) {
        quorin::Lock guard(lock_);
        files_[path] = fd;
    }
    void release(const std::string &path) {
        quorin::Lock guard(lock_);
        files_.erase(path);
    }
    // A descriptor of the file path is held by, or -1 (none holds it).
    int duplicate(const std::string &path) {
        quorin::Lock guard(lock_);
        auto found = files_.find(path);
        return found == files_.end() || found->second < 0 ? -1 : v4l2Io().duplicate(found->second);
    }

private:
    quorin::Mutex lock_;
    std::map<std::string, int> files_ GUARDED_BY(lock_);
};

ClaimedFiles &claimedFiles() { return ProcessState<ClaimedFiles>::get(); }

// The driver's buffers asked for. Up to two of them are held by frames
// (the grabber's newest and the last one a caller took), and two more stay
// queued so the driver never waits: with four, the first frame to pass
// untaken after a take made the taken one copy itself out (4 MB and a
// thousand fresh pages at 1920x1080 YUYV, some 14 ms here, for every frame
// a script takes once a second).
// uvcvideo grants up to 32; a driver that grants fewer still works, with
// those copies.
constexpr unsigned bufferCount = 5;

int converterIoctl(void *, int fd, unsigned long request, void *argument) {
    return v4l2Io().ioctl(fd, request, argument);
}
ssize_t converterNoIo(void *, int, void *, size_t) {
    errno = EINVAL;
    return -1;
}
ssize_t converterNoWrite(void *, int, const void *, size_t) {
    errno = EINVAL;
    return -1;
}
const libv4l_dev_ops converterOps = {nullptr, nullptr, converterIoctl, converterNoIo, converterNoWrite, nullptr,
                                     nullptr, nullptr, nullptr,        nullptr,       nullptr,          nullptr};
// How long one wait for a buffer lasts before the thread looks again; the
// stop request wakes it at once, so this only bounds a silent device's wait.
constexpr int pollMilliseconds = 500;

struct Mapping {
    void *start = MAP_FAILED;
    size_t length = 0;
};

v4l2_buffer bufferRecord(uint32_t index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    return buffer;
}

class BufferHold;

// The driver's buffers of one stream, each queued with the driver or held by
// a frame whose picture it is. A frame that holds one gives it back when it
// lets go (on whichever thread); stopping first takes every held picture
// into its frame's own memory, so that nothing reads a buffer after the
// stream is gone, and buffers given back after that stay with nobody.
class StreamBuffers final : public std::enable_shared_from_this<StreamBuffers> {
public:
    explicit StreamBuffers(int fd) : fd_(fd) {}

    std::vector<Mapping> mappings; // set before streaming, read-only after

    // Queues buffer index with the driver; false when that fails.
    bool queue(uint32_t index) {
        quorin::Lock guard(lock_);
        return queueLocked(index);
    }
    // Counts a buffer the driver handed over.
    void dequeued() {
        quorin::Lock guard(lock_);
        --queued_;
    }
    // A hold on buffer index (bytes long) for a frame, or null when holding
    // it would leave the driver fewer than two buffers to fill: then the
    // caller copies the picture out and queues the buffer again.
    std::shared_ptr<const HeldPicture> hold(uint32_t index, size_t bytes);
    // Takes every held picture into its frame and ends giving buffers back.
    void stop();

    void giveBack(uint32_t index) {
        quorin::Lock guard(lock_);
        if (streaming_)
            queueLocked(index);
    }

private:
    bool queueLocked(uint32_t index) REQUIRES(lock_) {
        v4l2_buffer buffer = bufferRecord(index);
        if (xioctl(fd_, VIDIOC_QBUF, &buffer) != 0)
            return false;
        ++queued_;
        return true;
    }

    const int fd_;
    quorin::Mutex lock_; // guards what follows, and orders giving back against stopping
    bool streaming_ GUARDED_BY(lock_) = true;
    long queued_ GUARDED_BY(lock_) = 0;
    std::vector<std::weak_ptr<BufferHold>> holds_ GUARDED_BY(lock_);
};

// A frame's hold on a driver's buffer: the picture is read in place until the
// hold hands the buffer back (the stream stops, or runs short of buffers),
// then from the copy taken then.
class BufferHold final : public HeldPicture {
public:
    BufferHold(std::shared_ptr<StreamBuffers> stream, uint32_t index, size_t bytes)
        : stream_(std::move(stream)), index_(index), bytes_(bytes) {}
    ~BufferHold() override {
        if (!copied_)
            stream_->giveBack(index_);
    }

    bool read(const std::function<bool(const uint8_t *, size_t)> &use) const override {
        quorin::Lock guard(lock_);
        return copied_ ? use(copy_.data(), copy_.size()) : use(start(), bytes_);
    }

    // Copies the picture into memory of the hold's own and gives the buffer
    // back to the stream (which queues it while streaming).
    void handBack() {
        {
            quorin::Lock guard(lock_);
            if (copied_)
                return;
            copy_.assign(start(), start() + bytes_);
            ++picturesCopied;
            copied_ = true;
        }
        stream_->giveBack(index_);
    }

private:
    const uint8_t *start() const { return static_cast<const uint8_t *>(stream_->mappings[index_].start); }

    const std::shared_ptr<StreamBuffers> stream_;
    const uint32_t index_;
    const size_t bytes_;
    mutable quorin::Mutex lock_; // a reader against the copy taken at stop
    std::vector<uint8_t> copy_ GUARDED_BY(lock_);
    bool copied_ GUARDED_BY(lock_) = false;
};

std::shared_ptr<const HeldPicture> StreamBuffers::hold(uint32_t index, size_t bytes) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::shared_ptr<BufferHold> oldest;
        {
            quorin::Lock guard(lock_);
            if (!streaming_)
                return nullptr;
            holds_.erase(std::remove_if(holds_.begin(), holds_.end(), [](const auto &h) { return h.expired(); }),
                         holds_.end());
            if (queued_ >= 2) {
                auto held = std::make_shared<BufferHold>(shared_from_this(), index, bytes);
                holds_.push_back(held);
                return held;
            }
            if (attempt > 0 || holds_.empty())
                return nullptr;
            oldest = holds_.front().lock();
        }
        // The driver is short of buffers: the oldest frame that holds one
        // (the last one a caller took, kept in case the newest is damaged)
        // takes a copy and gives its buffer back, once, instead of every new
        // frame being copied. Outside the stream's lock, which giving back
        // takes.
        if (oldest)
            oldest->handBack();
    }
    return nullptr;
}

void StreamBuffers::stop() {
    std::vector<std::shared_ptr<BufferHold>> alive;
    {
        quorin::Lock guard(lock_);
        streaming_ = false;
        for (const auto &h : holds_)
            if (auto held = h.lock())
                alive.push_back(std::move(held));
        holds_.clear();
    }
    // Outside the stream's lock: a hold's last owner may be here, and its
    // destructor gives back under that lock.
    for (const auto &held : alive)
        held->handBack(); // given back to nobody: the stream has stopped
}

class V4l2Source final : public FrameSource {
public:
    explicit V4l2Source(std::string path) : path_(std::move(path)) {}
    ~V4l2Source() override {
        stop();
        unclaim();
    }

    HRESULT claim() override {
        if (fd_ >= 0)
            return S_OK;
        // Held from joining a graph to leaving it, whatever the run state,
        // as a Windows capture pin holds its device: by one filter of this
        // process at a time, and against other processes by record
        // priority, with which no other file may set a format, ask for
        // buffers or stream (a driver without priorities: while it streams).
        if (!claimedFiles().reserve(path_))
            return HRESULT_FROM_WIN32_ERROR_BUSY;
        claimed_ = true;
        fd_ = openNode(path_);
        if (fd_ < 0) {
            HRESULT hr = resultFromErrno(errno);
            unclaim();
            return hr;
        }
        claimedFiles().hold(path_, fd_);
        uint32_t priority = V4L2_PRIORITY_RECORD;
        if (xioctl(fd_, VIDIOC_S_PRIORITY, &priority) != 0 && errno != ENOTTY && errno != EINVAL) {
            HRESULT hr = resultFromErrno(errno);
            unclaim();
            return hr;
        }
        // Freeing no buffers fails with EBUSY while another file streams.
        if (requestBuffers(0) < 0 && errno != EINVAL) {
            HRESULT hr = resultFromErrno(errno);
            unclaim();
            return hr;
        }
        // The converter asks the device through the same interface.
        converter_ = v4lconvert_create_with_dev_ops(fd_, nullptr, &converterOps);
        if (!converter_) {
            unclaim();
            return E_OUTOFMEMORY;
        }
        turn_ = orientationOf(converter_);
        return S_OK;
    }

    void unclaim() override {
        if (converter_)
            v4lconvert_destroy(converter_);
        converter_ = nullptr;
        if (claimed_)
            claimedFiles().release(path_);
        claimed_ = false;
        if (fd_ >= 0)
            v4l2Io().close(fd_);
        fd_ = -1;
    }

    HRESULT start(const VideoFormat &format, SampleOutput &output) override {
        if (fd_ < 0)
            return E_UNEXPECTED;
        if (thread_.joinable())
            return VFW_E_NOT_STOPPED;
        HRESULT hr = setFormat(format);
        if (SUCCEEDED(hr))
            hr = mapBuffers();
        if (SUCCEEDED(hr) && pipe2(wake_, O_CLOEXEC) != 0)
            hr = resultFromErrno(errno);
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (SUCCEEDED(hr) && xioctl(fd_, VIDIOC_STREAMON, &type) != 0)
            hr = resultFromErrno(errno);
        if (FAILED(hr)) {
            release();
            return hr;
        }
        HRESULT started = guarded([&] {
            thread_ = startDelivery(path_, [this, format, &output] { capture(format, output); });
            return S_OK;
        });
        if (FAILED(started))
            release();
        return started;
    }

    void stop() override {
        if (thread_.joinable()) {
            char wake = 1;
            ssize_t written = write(wake_[1], &wake, 1);
            (void)written; // a full pipe wakes the thread just as well
            joinOtherThread(thread_, "delivery");
        }
        release();
    }

private:
    HRESULT setFormat(const VideoFormat &format) {
        FrameSize size{format.width, format.height};
        v4l2_format device{};
        device.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        device.fmt.pix.width = static_cast<uint32_t>(format.width);
        device.fmt.pix.height = static_cast<uint32_t>(format.height);
        device.fmt.pix.field = V4L2_FIELD_ANY;
        // The format with the highest rate at this size (or the one tests
        // asked for), at its fastest interval.
        std::vector<Mode> modes = listModes(fd_);
        // No mode at all from a node that was unplugged since it was opened:
        // the format enumeration it ended on failed with ENODEV.
        if (modes.empty() && errno == ENODEV)
            return resultFromErrno(ENODEV);
        std::optional<Mode> mode = requestedMode(modes, size);
        if (!mode)
            mode = chooseMode(modes, size, format.fps);
        if (!mode)
            return VFW_E_INVALIDMEDIATYPE;
        device.fmt.pix.pixelformat = mode->fourcc;
        if (xioctl(fd_, VIDIOC_S_FMT, &device) != 0)
            return resultFromErrno(errno);
        // The device may settle on another size or format than asked; only
        // the asked size fits the connection's media type.
        if (device.fmt.pix.width != static_cast<uint32_t>(format.width) ||
            device.fmt.pix.height != static_cast<uint32_t>(format.height) ||
            conversionOf(device.fmt.pix.pixelformat) == Conversion::None)
            return VFW_E_INVALIDMEDIATYPE;
        setInterval(mode->interval);
        // A conversion of its own for each stream: frames of an earlier one
        // may still hold theirs.
        conversion_ = std::make_shared<PictureConversion>(device, format, converter_, turn_);
        return conversion_->valid() ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }

    // Asks for the interval, one the driver listed for this format and size
    // (a driver that lists none keeps its own rate, which the media types
    // report already).
    void setInterval(const v4l2_fract &interval) {
        if (!interval.numerator || !interval.denominator)
            return;
        v4l2_streamparm rate{};
        rate.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        rate.parm.capture.timeperframe = interval;
        xioctl(fd_, VIDIOC_S_PARM, &rate);
    }

    // The device format that tests asked for, if the device offers it.
    static std::optional<Mode> requestedMode(const std::vector<Mode> &modes, FrameSize size) {
        uint32_t requested = requestedDeviceFormat;
        for (const Mode &mode : modes)
            if (requested && mode.fourcc == requested && mode.size == size)
                return mode;
        return std::nullopt;
    }

    // Asks for count memory-mapped buffers (0 frees them): the count granted,
    // or -1 with errno set.
    int requestBuffers(uint32_t count) {
        v4l2_requestbuffers request{};
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        request.count = count;
        return xioctl(fd_, VIDIOC_REQBUFS, &request) == 0 ? static_cast<int>(request.count) : -1;
    }

    HRESULT mapBuffers() {
        int granted = requestBuffers(bufferCount);
        if (granted < 0)
            return resultFromErrno(errno);
        if (granted == 0)
            return E_OUTOFMEMORY;
        buffers_ = std::make_shared<StreamBuffers>(fd_);
        std::vector<Mapping> &mappings = buffers_->mappings;
        mappings.resize(static_cast<size_t>(granted));
        for (uint32_t i = 0; i < mappings.size(); ++i) {
            v4l2_buffer buffer = bufferRecord(i);
            if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) != 0)
                return resultFromErrno(errno);
            void *start = v4l2Io().map(buffer.length, fd_, static_cast<off_t>(buffer.m.offset));
            if (start == MAP_FAILED)
                return resultFromErrno(errno);
            mappings[i] = {start, buffer.length};
        }
        for (uint32_t i = 0; i < mappings.size(); ++i)
            if (!buffers_->queue(i))
                return resultFromErrno(errno);
        return S_OK;
    }

    // Undoes start: streaming, buffers, the wake-up pipe.
    void release() {
        if (buffers_) {
            // Frames that still hold a buffer keep a copy; then the buffers
            // can go.
            buffers_->stop();
            v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (fd_ >= 0)
                xioctl(fd_, VIDIOC_STREAMOFF, &type);
            for (Mapping &mapping : buffers_->mappings)
                if (mapping.start != MAP_FAILED)
                    v4l2Io().unmap(mapping.start, mapping.length);
            if (fd_ >= 0)
                requestBuffers(0);
            buffers_.reset();
        }
        for (int &end : wake_) {
            if (end >= 0)
                close(end);
            end = -1;
        }
    }

    // Delivers until stopped, or until the device goes: then says so, once.
    void capture(const VideoFormat &format, SampleOutput &output) {
        if (!deliverUntilGone(format, output))
            output.deviceLost();
    }

    // False when the device went (unplugged: the node hangs up and its
    // ioctls fail with ENODEV) or broke; true when asked to stop.
    bool deliverUntilGone(const VideoFormat &format, SampleOutput &output) {
        pollfd waits[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (;;) {
            if (v4l2Io().poll(waits, 2, pollMilliseconds) < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (waits[1].revents)
                return true; // stop
            if (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                return false; // unplugged: deliver nothing more
            if (!(waits[0].revents & POLLIN))
                continue;
            v4l2_buffer buffer = bufferRecord(0);
            if (xioctl(fd_, VIDIOC_DQBUF, &buffer) != 0) {
                if (errno == EAGAIN)
                    continue;
                return false; // gone (ENODEV) or broken (EIO)
            }
            buffers_->dequeued();
            const std::vector<Mapping> &mappings = buffers_->mappings;
            // A buffer the driver flags as damaged, or one that is no whole
            // picture, is skipped: never delivered as garbage.
            bool readable = !(buffer.flags & V4L2_BUF_FLAG_ERROR) && buffer.index < mappings.size() &&
                            buffer.bytesused <= mappings[buffer.index].length;
            const auto *picture = readable ? static_cast<const uint8_t *>(mappings[buffer.index].start) : nullptr;
            FramePtr frame;
            bool held = false;
            if (readable && conversion_->plausible(picture, buffer.bytesused)) {
                frame = output.takeFrame();
                if (conversion_->deferred() && !output.readsEveryFrame()) {
                    // Nobody reads this frame's pixels unless a caller takes
                    // it: the frame holds the driver's buffer (while two
                    // others stay queued; else a copy of its picture), and
                    // the picture is converted when taken.
                    std::shared_ptr<const HeldPicture> hold = buffers_->hold(buffer.index, buffer.bytesused);
                    held = hold != nullptr;
                    if (!held) {
                        frame->bytes.assign(picture, picture + buffer.bytesused);
                        ++picturesCopied;
                    }
                    frame->holdDevicePicture(conversion_, std::move(hold));
                } else {
                    frame->holdDevicePicture(nullptr);
                    frame->bytes.resize(format.imageSize());
                    if (!conversion_->convert(picture, buffer.bytesused, frame->bytes.data()))
                        frame.reset();
                }
            }
            if (!held)
                buffers_->queue(buffer.index);
            if (!frame)
                continue;
            output.deliver(frame);
        }
    }

    const std::string path_;
    bool claimed_ = false; // holds path_ among the process's claimed nodes
    int fd_ = -1;
    v4lconvert_data *converter_ = nullptr;
    Orientation turn_; // as libv4lconvert turns this camera
    std::shared_ptr<PictureConversion> conversion_;
    std::shared_ptr<StreamBuffers> buffers_; // while started
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace

std::unique_ptr<FrameSource> createV4l2Source(const std::string &path) { return std::make_unique<V4l2Source>(path); }

int duplicateClaimedFile(const std::string &path) { return claimedFiles().duplicate(path); }

void requestDeviceFormat(const char *fourcc) {
    uint32_t code = 0;
    if (fourcc && std::strlen(fourcc) == 4)
        code = v4l2_fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
    requestedDeviceFormat = code;
}

} // namespace platform
