// A V4L2 driver as data, behind the platform's V4L2 interface: nodes with
// their formats and sizes, memory-mapped buffers, and a script of what each
// dequeue gives (a frame, a damaged one, an error, a hang-up, silence).
#pragma once

#include "sources/v4l2/v4l2_io.h"

#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

using FakeSize = std::pair<uint32_t, uint32_t>;

struct FakeFormat {
    uint32_t fourcc;
    std::vector<FakeSize> sizes; // discrete sizes; none: the range below
    v4l2_frmsize_stepwise range{};
    // Frame intervals: listed for each size (as a UVC camera lists them), or
    // one stepwise range for every size; neither: the driver lists none and
    // ignores VIDIOC_S_PARM.
    std::map<FakeSize, std::vector<v4l2_fract>> intervals;
    bool stepwiseIntervals = false;
    v4l2_frmival_stepwise intervalRange{};
    // Colorimetry as the driver reports it in v4l2_pix_format.
    uint32_t colorspace = V4L2_COLORSPACE_SRGB;
    uint32_t ycbcrEncoding = V4L2_YCBCR_ENC_DEFAULT;
    uint32_t quantization = V4L2_QUANTIZATION_DEFAULT;
};

// A control as VIDIOC_QUERY_EXT_CTRL describes it, with its menu's entries
// (an empty entry is a gap in the menu) and the errno that setting it gives.
struct FakeControl {
    v4l2_query_ext_ctrl query;
    std::vector<std::string> menu;
    int setError = 0;
    int queryError = 0; // errno of describing it (a camera that stalls the request)
};

struct FakeNode {
    std::string path;
    std::string card;
    bool capture = true; // false: a metadata node
    std::vector<FakeFormat> formats;
    std::vector<FakeControl> controls; // in the order of their ids
    int openError = 0;                 // errno of every open (EACCES: the user may not)
    std::string group = "video";       // the group that owns the node
    std::string bus;                   // VIDIOC_QUERYCAP's bus_info
    size_t leftAt = 0;                 // the size of the first format that another program left it at
    std::string sysfsFolder;           // the device's folder in sysfs (see FakeV4l2::sysfs); none by default
};

class FakeV4l2 final : public platform::V4l2Io {
public:
    // What one dequeue does.
    enum class Event { Frame, Short, Oversized, Flagged, Interrupted, Again, Gone, HangUp, Silence };

    std::vector<FakeNode> devices;
    std::deque<Event> script;                  // consumed one dequeue (or poll) at a time
    Event afterScript = Event::Frame;          // then this, for ever
    int claimError = 0;                        // errno of freeing no buffers when a filter claims the node
    bool unplugged = false;                    // every ioctl of an open file fails with ENODEV, as uvcvideo's do
    uint32_t mostBuffers = 32;                 // VIDIOC_REQBUFS grants at most these (uvcvideo's limit)
    std::map<uint32_t, int32_t> controlValues; // set through VIDIOC_S_CTRL; the default until then
    // What a frame holds, when set (a compressed picture made by the test);
    // otherwise row y of the picture is filled with the value y.
    std::function<std::vector<uint8_t>(const v4l2_pix_format &)> payload;
    // Or the same picture in every frame, copied straight into the buffer
    // (for benchmarks: a driver's DMA costs the CPU nothing).
    const std::vector<uint8_t> *fixedPayload = nullptr;
    std::vector<unsigned long> requests; // every ioctl, in order
    // The format and interval of the last stream started.
    v4l2_pix_format streamed{};
    v4l2_fract streamedInterval{0, 0};

    // Adds events to the script while a stream runs.
    void play(std::initializer_list<Event> events) {
        std::lock_guard<std::mutex> guard(lock_);
        script.insert(script.end(), events);
    }

    long openFiles() {
        std::lock_guard<std::mutex> guard(lock_);
        return static_cast<long>(files_.size());
    }

    std::vector<std::string> nodes() override {
        std::vector<std::string> paths;
        for (const FakeNode &node : devices)
            paths.push_back(node.path);
        return paths;
    }

    int open(const std::string &path) override {
        std::lock_guard<std::mutex> guard(lock_);
        for (const FakeNode &node : devices) {
            if (node.path != path)
                continue;
            if (node.openError) {
                errno = node.openError;
                return -1;
            }
            int fd = nextFd_++;
            File &file = files_[fd];
            file.node = &node;
            file.description = fd;
            file.format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (!node.formats.empty())
                setFormat(file, node.formats.front().fourcc, sizeOf(node.formats.front(), node.leftAt));
            return fd;
        }
        errno = ENOENT;
        return -1;
    }

    int close(int fd) override {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = files_.find(fd);
        if (found == files_.end())
            return fail(EBADF);
        const File closing = found->second;
        files_.erase(found);
        // The open file's last descriptor gone: its priority goes with it.
        for (const auto &other : files_)
            if (other.second.description == closing.description)
                return 0;
        if (recording[closing.node] == closing.description)
            recording[closing.node] = 0;
        return 0;
    }

    int duplicate(int fd) override {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = files_.find(fd);
        if (found == files_.end())
            return fail(EBADF);
        int copy = nextFd_++;
        files_[copy] = found->second;
        return copy;
    }

    // The open file that holds record priority on a node, 0 for none.
    std::map<const FakeNode *, int> recording;

    int ioctl(int fd, unsigned long request, void *argument) override {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = files_.find(fd);
        if (found == files_.end())
            return fail(EBADF);
        File &file = found->second;
        requests.push_back(request);
        if (unplugged)
            return fail(ENODEV);
        // As the V4L2 core does: what changes the device is refused to every
        // file but the one that holds record priority, if one does.
        const int holder = recording[file.node];
        switch (request) {
        case VIDIOC_S_FMT:
        case VIDIOC_S_PARM:
        case VIDIOC_REQBUFS:
        case VIDIOC_STREAMON:
        case VIDIOC_S_CTRL:
            if (holder && holder != file.description)
                return fail(EBUSY);
            break;
        default:
            break;
        }
        switch (request) {
        case VIDIOC_S_PRIORITY: {
            bool record = *static_cast<uint32_t *>(argument) == V4L2_PRIORITY_RECORD;
            if (record && holder && holder != file.description)
                return fail(EBUSY);
            recording[file.node] = record ? file.description : (holder == file.description ? 0 : holder);
            return 0;
        }
        case VIDIOC_QUERYCAP: {
            auto *caps = static_cast<v4l2_capability *>(argument);
            *caps = v4l2_capability{};
            std::snprintf(reinterpret_cast<char *>(caps->card), sizeof caps->card, "%s", file.node->card.c_str());
            std::snprintf(reinterpret_cast<char *>(caps->driver), sizeof caps->driver, "fake");
            std::snprintf(reinterpret_cast<char *>(caps->bus_info), sizeof caps->bus_info, "%s",
                          file.node->bus.c_str());
            caps->device_caps =
                (file.node->capture ? V4L2_CAP_VIDEO_CAPTURE : V4L2_CAP_META_CAPTURE) | V4L2_CAP_STREAMING;
            caps->capabilities = caps->device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            auto *desc = static_cast<v4l2_fmtdesc *>(argument);
            if (!file.node->capture || desc->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
                desc->index >= file.node->formats.size())
                return fail(EINVAL);
            desc->pixelformat = file.node->formats[desc->index].fourcc;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto *size = static_cast<v4l2_frmsizeenum *>(argument);
            const FakeFormat *format = formatOf(*file.node, size->pixel_format);
            if (!format)
                return fail(EINVAL);
            if (format->sizes.empty()) {
                if (size->index > 0)
                    return fail(EINVAL);
                size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
                size->stepwise = format->range;
                return 0;
            }
            if (size->index >= format->sizes.size())
                return fail(EINVAL);
            size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            size->discrete = {format->sizes[size->index].first, format->sizes[size->index].second};
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto *entry = static_cast<v4l2_frmivalenum *>(argument);
            const FakeFormat *format = formatOf(*file.node, entry->pixel_format);
            if (!format || !offers(*format, {entry->width, entry->height}))
                return fail(EINVAL);
            if (format->stepwiseIntervals) {
                if (entry->index > 0)
                    return fail(EINVAL);
                entry->type = V4L2_FRMIVAL_TYPE_STEPWISE;
                entry->stepwise = format->intervalRange;
                return 0;
            }
            auto listed = format->intervals.find({entry->width, entry->height});
            if (listed == format->intervals.end() || entry->index >= listed->second.size())
                return fail(EINVAL);
            entry->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            entry->discrete = listed->second[entry->index];
            return 0;
        }
        case VIDIOC_G_PARM:
        case VIDIOC_S_PARM: {
            auto *rate = static_cast<v4l2_streamparm *>(argument);
            if (rate->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
                return fail(EINVAL);
            std::vector<v4l2_fract> offered = intervalsOf(file);
            if (request == VIDIOC_S_PARM && !offered.empty()) {
                if (!file.buffers.empty())
                    return fail(EBUSY);
                file.interval = nearest(offered, rate->parm.capture.timeperframe);
            }
            rate->parm.capture = v4l2_captureparm{};
            rate->parm.capture.capability = offered.empty() ? 0 : V4L2_CAP_TIMEPERFRAME;
            rate->parm.capture.timeperframe = offered.empty() ? v4l2_fract{1, 30} : file.interval;
            return 0;
        }
        case VIDIOC_G_FMT:
            *static_cast<v4l2_format *>(argument) = file.format;
            return 0;
        case VIDIOC_TRY_FMT:
        case VIDIOC_S_FMT: {
            auto *wanted = static_cast<v4l2_format *>(argument);
            const FakeFormat *format = formatOf(*file.node, wanted->fmt.pix.pixelformat);
            if (!format && file.node->formats.empty())
                return fail(EINVAL);
            if (!format)
                format = &file.node->formats.front();
            std::pair<uint32_t, uint32_t> size{wanted->fmt.pix.width, wanted->fmt.pix.height};
            if (!offers(*format, size))
                size = sizeOf(*format, 0);
            File tried = file;
            setFormat(tried, format->fourcc, size);
            *wanted = tried.format;
            if (request == VIDIOC_S_FMT) {
                if (!file.buffers.empty())
                    return fail(EBUSY);
                file.format = tried.format;
                // As uvcvideo: a new format starts at its size's first
                // (fastest) listed interval.
                std::vector<v4l2_fract> offered = intervalsOf(file);
                if (!offered.empty())
                    file.interval = offered.front();
            }
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto *request = static_cast<v4l2_requestbuffers *>(argument);
            if (request->count == 0 && claimError)
                return fail(claimError);
            request->count = std::min(request->count, mostBuffers);
            file.buffers.assign(request->count, std::vector<uint8_t>(file.format.fmt.pix.sizeimage));
            file.filled.clear();
            file.queued.clear();
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto *buffer = static_cast<v4l2_buffer *>(argument);
            if (buffer->index >= file.buffers.size())
                return fail(EINVAL);
            buffer->length = static_cast<uint32_t>(file.buffers[buffer->index].size());
            buffer->m.offset = buffer->index << 20;
            return 0;
        }
        case VIDIOC_QBUF:
            file.queued.push_back(static_cast<v4l2_buffer *>(argument)->index);
            return 0;
        case VIDIOC_DQBUF:
            return dequeue(file, *static_cast<v4l2_buffer *>(argument));
        case VIDIOC_QUERY_EXT_CTRL: {
            auto *query = static_cast<v4l2_query_ext_ctrl *>(argument);
            bool next = query->id & V4L2_CTRL_FLAG_NEXT_CTRL;
            uint32_t id = query->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
            for (const FakeControl &control : file.node->controls) {
                if (next ? control.query.id > id : control.query.id == id) {
                    if (control.queryError)
                        return fail(control.queryError);
                    *query = control.query;
                    return 0;
                }
            }
            return fail(EINVAL);
        }
        case VIDIOC_QUERYMENU: {
            auto *item = static_cast<v4l2_querymenu *>(argument);
            const FakeControl *control = controlOf(*file.node, item->id);
            if (!control || item->index < control->query.minimum)
                return fail(EINVAL);
            size_t entry = item->index - static_cast<size_t>(control->query.minimum);
            if (entry >= control->menu.size() || control->menu[entry].empty())
                return fail(EINVAL);
            if (control->query.type == V4L2_CTRL_TYPE_INTEGER_MENU)
                item->value = std::stoll(control->menu[entry]);
            else
                std::snprintf(reinterpret_cast<char *>(item->name), sizeof item->name, "%s",
                              control->menu[entry].c_str());
            return 0;
        }
        case VIDIOC_G_CTRL:
        case VIDIOC_S_CTRL: {
            auto *value = static_cast<v4l2_control *>(argument);
            const FakeControl *control = controlOf(*file.node, value->id);
            if (!control)
                return fail(EINVAL);
            auto stored = controlValues.emplace(value->id, static_cast<int32_t>(control->query.default_value)).first;
            if (request == VIDIOC_G_CTRL) {
                value->value = stored->second;
                return 0;
            }
            if (control->setError)
                return fail(control->setError);
            stored->second = value->value;
            return 0;
        }
        case VIDIOC_STREAMON:
            streamed = file.format.fmt.pix;
            streamedInterval = file.interval;
            return 0;
        case VIDIOC_STREAMOFF:
            return 0;
        default:
            return fail(ENOTTY);
        }
    }

    void *map(size_t length, int fd, off_t offset) override {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = files_.find(fd);
        size_t index = static_cast<size_t>(offset) >> 20;
        if (found == files_.end() || index >= found->second.buffers.size() ||
            found->second.buffers[index].size() != length)
            return MAP_FAILED;
        return found->second.buffers[index].data();
    }

    int unmap(void *, size_t) override { return 0; }

    // The device is readable unless its next event is silence or a hang-up;
    // the other descriptors (the source's wake-up pipe) are the system's.
    std::string groupOf(const std::string &path) override {
        for (const FakeNode &node : devices)
            if (node.path == path)
                return node.group;
        return {};
    }

    std::string deviceFolder(const std::string &path) override {
        for (const FakeNode &node : devices)
            if (node.path == path)
                return node.sysfsFolder;
        return {};
    }

    // sysfs's files, by path.
    std::map<std::string, std::string> sysfs;

    bool readSysfs(const std::string &path, std::string &contents) override {
        auto found = sysfs.find(path);
        if (found == sysfs.end())
            return false;
        contents = found->second;
        return true;
    }

    // With a frame interval set, frames come at that pace (as a camera's
    // do); without, as fast as they are asked for.
    std::chrono::microseconds frameInterval{0};

    int poll(pollfd *fds, nfds_t count, int milliseconds) override {
        using clock = std::chrono::steady_clock;
        auto deadline = clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            int ready = 0;
            std::vector<pollfd> system;
            for (nfds_t i = 0; i < count; ++i) {
                fds[i].revents = 0;
                if (isFake(fds[i].fd)) {
                    Event next = peek();
                    bool due = frameInterval.count() == 0 || clock::now() >= nextFrame();
                    fds[i].revents = next == Event::HangUp ? POLLHUP : next == Event::Silence || !due ? 0 : POLLIN;
                } else {
                    ::poll(&fds[i], 1, 0);
                    system.push_back(fds[i]);
                }
                ready += fds[i].revents != 0;
            }
            auto now = clock::now();
            if (ready || now >= deadline)
                return ready;
            // Until the next frame is due (or a while, to look again), woken
            // by the system's descriptors (a stop request).
            auto until = std::min(deadline, frameInterval.count() ? std::max(nextFrame(), now)
                                                                  : now + std::chrono::milliseconds(2));
            auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(until - now);
            timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                             static_cast<long>(wait.count() % 1000000000)};
            ::ppoll(system.data(), system.size(), &timeout, nullptr);
        }
    }

private:
    struct File {
        const FakeNode *node = nullptr;
        int description = 0; // the open file it is a descriptor of (dup keeps it)
        v4l2_format format{};
        std::vector<std::vector<uint8_t>> buffers;
        std::vector<bool> filled; // with the fixed payload
        std::deque<uint32_t> queued;
        uint8_t sequence = 0;
        v4l2_fract interval{0, 0};
    };

    // The intervals the file's current format and size offer: stepwise at
    // its limits and a middle step, as a driver would round to them.
    std::vector<v4l2_fract> intervalsOf(const File &file) const {
        const v4l2_pix_format &pix = file.format.fmt.pix;
        const FakeFormat *format = formatOf(*file.node, pix.pixelformat);
        if (!format)
            return {};
        if (format->stepwiseIntervals)
            return {format->intervalRange.min, format->intervalRange.max};
        auto listed = format->intervals.find({pix.width, pix.height});
        return listed == format->intervals.end() ? std::vector<v4l2_fract>{} : listed->second;
    }
    static v4l2_fract nearest(const std::vector<v4l2_fract> &offered, v4l2_fract wanted) {
        auto seconds = [](v4l2_fract f) { return f.denominator ? double(f.numerator) / f.denominator : 1e9; };
        v4l2_fract best = offered.front();
        for (const v4l2_fract &f : offered)
            if (std::abs(seconds(f) - seconds(wanted)) < std::abs(seconds(best) - seconds(wanted)))
                best = f;
        return best;
    }

    static int fail(int error) {
        errno = error;
        return -1;
    }
    static const FakeControl *controlOf(const FakeNode &node, uint32_t id) {
        for (const FakeControl &control : node.controls)
            if (control.query.id == id)
                return &control;
        return nullptr;
    }
    static const FakeFormat *formatOf(const FakeNode &node, uint32_t fourcc) {
        for (const FakeFormat &format : node.formats)
            if (format.fourcc == fourcc)
                return &format;
        return nullptr;
    }
    static std::pair<uint32_t, uint32_t> sizeOf(const FakeFormat &format, size_t index) {
        return format.sizes.empty() ? std::make_pair(format.range.min_width, format.range.min_height)
                                    : format.sizes[index];
    }
    static bool offers(const FakeFormat &format, std::pair<uint32_t, uint32_t> size) {
        if (!format.sizes.empty())
            return std::find(format.sizes.begin(), format.sizes.end(), size) != format.sizes.end();
        const v4l2_frmsize_stepwise &r = format.range;
        return size.first >= r.min_width && size.first <= r.max_width && size.second >= r.min_height &&
               size.second <= r.max_height && (size.first - r.min_width) % r.step_width == 0 &&
               (size.second - r.min_height) % r.step_height == 0;
    }
    static void setFormat(File &file, uint32_t fourcc, std::pair<uint32_t, uint32_t> size) {
        v4l2_pix_format &pix = file.format.fmt.pix;
        pix.pixelformat = fourcc;
        pix.width = size.first;
        pix.height = size.second;
        pix.field = V4L2_FIELD_NONE;
        bool packed = fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_UYVY;
        bool compressed = fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG || fourcc == V4L2_PIX_FMT_H264;
        bool planar = fourcc == V4L2_PIX_FMT_NV12 || fourcc == V4L2_PIX_FMT_NV21 || fourcc == V4L2_PIX_FMT_YUV420 ||
                      fourcc == V4L2_PIX_FMT_YVU420;
        pix.bytesperline = compressed                                                     ? 0
                           : fourcc == V4L2_PIX_FMT_BGR24 || fourcc == V4L2_PIX_FMT_RGB24 ? size.first * 3
                           : packed                                                       ? size.first * 2
                                                                                          : size.first;
        // A compressed frame's buffer is as large as the camera says its
        // largest frame can be (uvcvideo: dwMaxVideoFrameSize).
        pix.sizeimage = compressed ? size.first * size.second * 2
                        : planar   ? size.first * size.second * 3 / 2
                                   : pix.bytesperline * size.second;
        const FakeFormat *format = formatOf(*file.node, fourcc);
        pix.colorspace = format ? format->colorspace : static_cast<uint32_t>(V4L2_COLORSPACE_SRGB);
        pix.ycbcr_enc = format ? format->ycbcrEncoding : static_cast<uint32_t>(V4L2_YCBCR_ENC_DEFAULT);
        pix.quantization = format ? format->quantization : static_cast<uint32_t>(V4L2_QUANTIZATION_DEFAULT);
    }
    bool isFake(int fd) {
        std::lock_guard<std::mutex> guard(lock_);
        return files_.count(fd) != 0;
    }
    Event peek() {
        std::lock_guard<std::mutex> guard(lock_);
        return script.empty() ? afterScript : script.front();
    }

    // A frame fills row y of the picture with the value y (and the sequence
    // number in the first byte), top-down, as a driver writes it.
    std::chrono::steady_clock::time_point nextFrame() {
        std::lock_guard<std::mutex> guard(lock_);
        return nextFrame_;
    }

    int dequeue(File &file, v4l2_buffer &buffer) {
        if (frameInterval.count()) {
            auto now = std::chrono::steady_clock::now();
            if (now < nextFrame_)
                return fail(EAGAIN);
            nextFrame_ = std::max(nextFrame_ + frameInterval, now);
        }
        Event event = script.empty() ? afterScript : script.front();
        if (!script.empty())
            script.pop_front();
        switch (event) {
        case Event::Interrupted:
            return fail(EINTR);
        case Event::Again:
        case Event::Silence:
            return fail(EAGAIN);
        case Event::Gone:
        case Event::HangUp:
            return fail(ENODEV);
        default:
            break;
        }
        if (file.queued.empty())
            return fail(EAGAIN);
        uint32_t index = file.queued.front();
        file.queued.pop_front();
        std::vector<uint8_t> &data = file.buffers[index];
        const v4l2_pix_format &pix = file.format.fmt.pix;
        uint32_t used = pix.sizeimage;
        if (fixedPayload) {
            // Written into each buffer once: a driver's DMA costs the CPU
            // nothing, and a benchmark should not count a copy it makes.
            used = static_cast<uint32_t>(std::min(fixedPayload->size(), data.size()));
            if (file.filled.size() != file.buffers.size())
                file.filled.assign(file.buffers.size(), false);
            if (!file.filled[index])
                std::memcpy(data.data(), fixedPayload->data(), used);
            file.filled[index] = true;
        } else if (payload) {
            std::vector<uint8_t> picture = payload(pix);
            used = static_cast<uint32_t>(std::min(picture.size(), data.size()));
            std::memcpy(data.data(), picture.data(), used);
        } else {
            for (uint32_t y = 0; y < pix.height && (y + 1) * pix.bytesperline <= data.size(); ++y)
                std::memset(data.data() + y * pix.bytesperline, static_cast<int>(y & 0xFF), pix.bytesperline);
        }
        buffer.index = index;
        buffer.length = static_cast<uint32_t>(data.size());
        buffer.bytesused = event == Event::Short       ? used / 2
                           : event == Event::Oversized ? static_cast<uint32_t>(data.size()) + 100
                                                       : used;
        // A frame the driver knows to be damaged (uvcvideo: a USB packet
        // lost or a payload error) is flagged, and still dequeued.
        buffer.flags = event == Event::Flagged ? V4L2_BUF_FLAG_ERROR : 0;
        return 0;
    }

    std::mutex lock_;
    std::chrono::steady_clock::time_point nextFrame_{};
    std::map<int, File> files_;
    int nextFd_ = 1000;
};
