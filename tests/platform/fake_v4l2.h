// A V4L2 driver as data, behind the platform's V4L2 interface: nodes with
// their formats and sizes, memory-mapped buffers, and a script of what each
// dequeue gives (a frame, a damaged one, an error, a hang-up, silence).
#pragma once

#include "sources/v4l2/v4l2_io.h"

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

struct FakeFormat {
    uint32_t fourcc;
    std::vector<std::pair<uint32_t, uint32_t>> sizes; // discrete sizes; none: the range below
    v4l2_frmsize_stepwise range{};
};

// A control as VIDIOC_QUERY_EXT_CTRL describes it, with its menu's entries
// (an empty entry is a gap in the menu) and the errno that setting it gives.
struct FakeControl {
    v4l2_query_ext_ctrl query;
    std::vector<std::string> menu;
    int setError = 0;
};

struct FakeNode {
    std::string path;
    std::string card;
    bool capture = true; // false: a metadata node
    std::vector<FakeFormat> formats;
    std::vector<FakeControl> controls; // in the order of their ids
};

class FakeV4l2 final : public platform::V4l2Io {
public:
    // What one dequeue does.
    enum class Event { Frame, Short, Oversized, Interrupted, Again, Gone, HangUp, Silence };

    std::vector<FakeNode> devices;
    std::deque<Event> script;                  // consumed one dequeue (or poll) at a time
    Event afterScript = Event::Frame;          // then this, for ever
    int claimError = 0;                        // errno of freeing no buffers when a filter claims the node
    std::map<uint32_t, int32_t> controlValues; // set through VIDIOC_S_CTRL; the default until then

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
            int fd = nextFd_++;
            File &file = files_[fd];
            file.node = &node;
            file.format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (!node.formats.empty())
                setFormat(file, node.formats.front().fourcc, sizeOf(node.formats.front(), 0));
            return fd;
        }
        errno = ENOENT;
        return -1;
    }

    int close(int fd) override {
        std::lock_guard<std::mutex> guard(lock_);
        return files_.erase(fd) ? 0 : (errno = EBADF, -1);
    }

    int ioctl(int fd, unsigned long request, void *argument) override {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = files_.find(fd);
        if (found == files_.end())
            return fail(EBADF);
        File &file = found->second;
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto *caps = static_cast<v4l2_capability *>(argument);
            *caps = v4l2_capability{};
            std::snprintf(reinterpret_cast<char *>(caps->card), sizeof caps->card, "%s", file.node->card.c_str());
            std::snprintf(reinterpret_cast<char *>(caps->driver), sizeof caps->driver, "fake");
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
            }
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto *request = static_cast<v4l2_requestbuffers *>(argument);
            if (request->count == 0 && claimError)
                return fail(claimError);
            file.buffers.assign(request->count, std::vector<uint8_t>(file.format.fmt.pix.sizeimage));
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
    int poll(pollfd *fds, nfds_t count, int milliseconds) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            int ready = 0;
            for (nfds_t i = 0; i < count; ++i) {
                fds[i].revents = 0;
                if (isFake(fds[i].fd)) {
                    Event next = peek();
                    fds[i].revents = next == Event::HangUp ? POLLHUP : next == Event::Silence ? 0 : POLLIN;
                } else {
                    ::poll(&fds[i], 1, 0);
                }
                ready += fds[i].revents != 0;
            }
            if (ready || std::chrono::steady_clock::now() >= deadline)
                return ready;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    struct File {
        const FakeNode *node = nullptr;
        v4l2_format format{};
        std::vector<std::vector<uint8_t>> buffers;
        std::deque<uint32_t> queued;
        uint8_t sequence = 0;
    };

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
        pix.bytesperline = fourcc == V4L2_PIX_FMT_BGR24  ? size.first * 3
                           : fourcc == V4L2_PIX_FMT_YUYV ? size.first * 2
                                                         : size.first;
        pix.sizeimage = fourcc == V4L2_PIX_FMT_NV12 ? size.first * size.second * 3 / 2 : pix.bytesperline * size.second;
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
    int dequeue(File &file, v4l2_buffer &buffer) {
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
        for (uint32_t y = 0; y < pix.height && (y + 1) * pix.bytesperline <= data.size(); ++y)
            std::memset(data.data() + y * pix.bytesperline, static_cast<int>(y & 0xFF), pix.bytesperline);
        buffer.index = index;
        buffer.length = static_cast<uint32_t>(data.size());
        buffer.bytesused = event == Event::Short       ? pix.sizeimage / 2
                           : event == Event::Oversized ? static_cast<uint32_t>(data.size()) + 100
                                                       : pix.sizeimage;
        return 0;
    }

    std::mutex lock_;
    std::map<int, File> files_;
    int nextFd_ = 1000;
};
