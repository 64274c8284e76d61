#include "sources/v4l2/v4l2_source.h"

#include "com/guard.h"
#include "sources/v4l2/v4l2_io.h"

#include <libv4l-plugin.h>
#include <libv4lconvert.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::atomic<uint32_t> requestedDeviceFormat{0};

constexpr unsigned bufferCount = 4;

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
        fd_ = openNode(path_);
        if (fd_ < 0)
            return resultFromErrno(errno);
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
        return S_OK;
    }

    void unclaim() override {
        if (converter_)
            v4lconvert_destroy(converter_);
        converter_ = nullptr;
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
            thread_.join();
        }
        release();
    }

private:
    struct Mapping {
        void *start = MAP_FAILED;
        size_t length = 0;
    };

    HRESULT setFormat(const VideoFormat &format) {
        v4l2_format wanted{};
        wanted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        wanted.fmt.pix.width = static_cast<uint32_t>(format.width);
        wanted.fmt.pix.height = static_cast<uint32_t>(format.height);
        wanted.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
        wanted.fmt.pix.field = V4L2_FIELD_ANY;
        v4l2_format device{};
        if (!tryRequestedFormat(wanted, device) && v4lconvert_try_format(converter_, &wanted, &device) != 0)
            return VFW_E_INVALIDMEDIATYPE;
        if (xioctl(fd_, VIDIOC_S_FMT, &device) != 0)
            return resultFromErrno(errno);
        // The device may settle on another size than asked; only the asked
        // one fits the connection's media type.
        if (device.fmt.pix.width != wanted.fmt.pix.width || device.fmt.pix.height != wanted.fmt.pix.height)
            return VFW_E_INVALIDMEDIATYPE;
        deviceFormat_ = device;
        outputFormat_ = wanted;
        outputFormat_.fmt.pix.bytesperline = wanted.fmt.pix.width * 3;
        outputFormat_.fmt.pix.sizeimage = outputFormat_.fmt.pix.bytesperline * wanted.fmt.pix.height;
        // What the device gives as B, G, R needs no conversion: it goes
        // straight from the mapped buffer into the sample.
        native_ = device.fmt.pix.pixelformat == V4L2_PIX_FMT_BGR24;
        converted_.resize(native_ ? 0 : outputFormat_.fmt.pix.sizeimage);
        return S_OK;
    }

    // The device format that tests asked for, if the device offers it.
    bool tryRequestedFormat(const v4l2_format &wanted, v4l2_format &device) {
        uint32_t requested = requestedDeviceFormat;
        if (!requested)
            return false;
        device = wanted;
        device.fmt.pix.pixelformat = requested;
        return xioctl(fd_, VIDIOC_TRY_FMT, &device) == 0 && device.fmt.pix.pixelformat == requested;
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

    static v4l2_buffer bufferRecord(uint32_t index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        return buffer;
    }

    HRESULT mapBuffers() {
        int granted = requestBuffers(bufferCount);
        if (granted < 0)
            return resultFromErrno(errno);
        if (granted == 0)
            return E_OUTOFMEMORY;
        mappings_.resize(static_cast<size_t>(granted));
        for (uint32_t i = 0; i < mappings_.size(); ++i) {
            v4l2_buffer buffer = bufferRecord(i);
            if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) != 0)
                return resultFromErrno(errno);
            void *start = v4l2Io().map(buffer.length, fd_, static_cast<off_t>(buffer.m.offset));
            if (start == MAP_FAILED)
                return resultFromErrno(errno);
            mappings_[i] = {start, buffer.length};
            if (xioctl(fd_, VIDIOC_QBUF, &buffer) != 0)
                return resultFromErrno(errno);
        }
        return S_OK;
    }

    // Undoes start: streaming, buffers, the wake-up pipe.
    void release() {
        if (fd_ >= 0 && !mappings_.empty()) {
            v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            xioctl(fd_, VIDIOC_STREAMOFF, &type);
        }
        for (Mapping &mapping : mappings_)
            if (mapping.start != MAP_FAILED)
                v4l2Io().unmap(mapping.start, mapping.length);
        if (fd_ >= 0 && !mappings_.empty())
            requestBuffers(0);
        mappings_.clear();
        for (int &end : wake_) {
            if (end >= 0)
                close(end);
            end = -1;
        }
    }

    void capture(const VideoFormat &format, SampleOutput &output) {
        pollfd waits[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (;;) {
            if (v4l2Io().poll(waits, 2, pollMilliseconds) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (waits[1].revents)
                return; // stop
            if (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                return; // unplugged: deliver nothing more
            if (!(waits[0].revents & POLLIN))
                continue;
            v4l2_buffer buffer = bufferRecord(0);
            if (xioctl(fd_, VIDIOC_DQBUF, &buffer) != 0) {
                if (errno == EAGAIN)
                    continue;
                return; // gone (ENODEV) or broken (EIO)
            }
            const uint8_t *picture = nullptr;
            size_t pictureStride = 0;
            if (buffer.index < mappings_.size() && buffer.bytesused <= mappings_[buffer.index].length)
                picture = pictureOf(static_cast<const uint8_t *>(mappings_[buffer.index].start), buffer.bytesused,
                                    format, pictureStride);
            if (!picture) { // a damaged frame (a compressed one the converter rejects) is skipped
                xioctl(fd_, VIDIOC_QBUF, &buffer);
                continue;
            }
            FramePtr frame = output.takeFrame();
            frame->bytes.resize(format.imageSize());
            copyRowsBottomUp(picture, pictureStride, format, frame->bytes.data());
            xioctl(fd_, VIDIOC_QBUF, &buffer);
            output.deliver(frame);
        }
    }

    // The top-down B, G, R rows of a captured buffer, with their stride: the
    // buffer itself for a native stream, else the converter's output. Null
    // when the buffer holds less than a whole picture.
    const uint8_t *pictureOf(const uint8_t *data, uint32_t size, const VideoFormat &format, size_t &stride) {
        auto whole = [&](size_t rowStride, size_t bytes) {
            return bytes >= rowStride * static_cast<size_t>(format.height - 1) + static_cast<size_t>(format.width) * 3;
        };
        if (native_) {
            // Some drivers leave the stride of packed formats unset.
            stride = std::max<size_t>(deviceFormat_.fmt.pix.bytesperline, static_cast<size_t>(format.width) * 3);
            return whole(stride, size) ? data : nullptr;
        }
        int converted =
            v4lconvert_convert(converter_, &deviceFormat_, &outputFormat_, const_cast<uint8_t *>(data),
                               static_cast<int>(size), converted_.data(), static_cast<int>(converted_.size()));
        stride = outputFormat_.fmt.pix.bytesperline;
        return converted >= 0 && whole(stride, static_cast<size_t>(converted)) ? converted_.data() : nullptr;
    }

    const std::string path_;
    int fd_ = -1;
    v4lconvert_data *converter_ = nullptr;
    v4l2_format deviceFormat_{};
    v4l2_format outputFormat_{};
    bool native_ = false;
    std::vector<uint8_t> converted_;
    std::vector<Mapping> mappings_;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace

std::unique_ptr<FrameSource> createV4l2Source(const std::string &path) { return std::make_unique<V4l2Source>(path); }

void requestDeviceFormat(const char *fourcc) {
    uint32_t code = 0;
    if (fourcc && std::strlen(fourcc) == 4)
        code = v4l2_fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
    requestedDeviceFormat = code;
}

} // namespace platform
