#include "sources/v4l2/v4l2_devices.h"

#include "sources/v4l2/v4l2_controls.h"
#include "sources/v4l2/v4l2_io.h"
#include "sources/v4l2/v4l2_source.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<bool> systemDevices{true};

// Sizes at which a stepwise or continuous range is offered: the common ones
// that the range contains, besides its smallest and largest.
const FrameSize commonSizes[] = {{160, 120},  {320, 240},  {640, 360},   {640, 480},   {800, 600},  {1024, 768},
                                 {1280, 720}, {1280, 960}, {1920, 1080}, {2560, 1440}, {3840, 2160}};

constexpr LONG maxDimension = 16384;

class FileDescriptor {
public:
    explicit FileDescriptor(const std::string &path) : fd_(openNode(path)) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            v4l2Io().close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool inRange(const v4l2_frmsize_stepwise &range, FrameSize size) {
    auto fits = [](uint32_t value, uint32_t low, uint32_t high, uint32_t step) {
        return value >= low && value <= high && (step == 0 || (value - low) % step == 0);
    };
    return fits(static_cast<uint32_t>(size.width), range.min_width, range.max_width, range.step_width) &&
           fits(static_cast<uint32_t>(size.height), range.min_height, range.max_height, range.step_height);
}

std::vector<FrameSize> listSizes(int fd) {
    std::vector<FrameSize> sizes;
    auto add = [&](uint32_t width, uint32_t height) {
        if (width < 1 || height < 1 || width > maxDimension || height > maxDimension)
            return;
        FrameSize size{static_cast<LONG>(width), static_cast<LONG>(height)};
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
            sizes.push_back(size);
    };
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        v4l2_frmsizeenum size{};
        size.pixel_format = format.pixelformat;
        for (size.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                add(size.discrete.width, size.discrete.height);
                continue;
            }
            const v4l2_frmsize_stepwise &range = size.stepwise;
            add(range.min_width, range.min_height);
            for (FrameSize common : commonSizes)
                if (inRange(range, common))
                    add(static_cast<uint32_t>(common.width), static_cast<uint32_t>(common.height));
            add(range.max_width, range.max_height);
            break; // a range is the only entry
        }
    }
    return sizes;
}

FrameSize currentSizeOf(int fd, const std::vector<FrameSize> &offered) {
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (fd >= 0 && xioctl(fd, VIDIOC_G_FMT, &current) == 0) {
        FrameSize size{static_cast<LONG>(current.fmt.pix.width), static_cast<LONG>(current.fmt.pix.height)};
        if (std::find(offered.begin(), offered.end(), size) != offered.end())
            return size;
    }
    return offered.front();
}

class V4l2Device final : public Device {
public:
    V4l2Device(CameraDescription description, std::string path)
        : Device(std::move(description)), path_(std::move(path)) {}

    std::string devicePath() const override { return path_; }
    FrameSize currentSize() const override {
        FileDescriptor node(path_);
        return currentSizeOf(node.get(), description().sizes);
    }
    std::unique_ptr<FrameSource> createSource() const override { return createV4l2Source(path_); }
    std::unique_ptr<DeviceControls> openControls(std::string &error) override { return openV4l2Controls(path_, error); }

private:
    const std::string path_;
};

// Describes the node at path, or returns false when it cannot capture video.
bool describe(const std::string &path, CameraDescription &camera) {
    FileDescriptor node(path);
    if (node.get() < 0)
        return false;
    v4l2_capability capability{};
    if (xioctl(node.get(), VIDIOC_QUERYCAP, &capability) != 0)
        return false;
    uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
        return false;
    camera = CameraDescription{};
    const char *card = reinterpret_cast<const char *>(capability.card);
    camera.name.assign(card, strnlen(card, sizeof capability.card));
    camera.sizes = listSizes(node.get());
    if (camera.sizes.empty())
        return false;
    v4l2_streamparm rate{};
    rate.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(node.get(), VIDIOC_G_PARM, &rate) == 0 && (rate.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) &&
        rate.parm.capture.timeperframe.numerator > 0 && rate.parm.capture.timeperframe.denominator > 0)
        camera.fps =
            static_cast<double>(rate.parm.capture.timeperframe.denominator) / rate.parm.capture.timeperframe.numerator;
    return true;
}

struct Registry {
    std::mutex lock;
    std::map<std::string, DevicePtr> byPath; // the same node keeps its Device while its description holds
};

Registry &registry() {
    static Registry *instance = new Registry;
    return *instance;
}

} // namespace

void useSystemDevices(bool on) { systemDevices = on; }

void listV4l2Devices(std::vector<DevicePtr> &devices) {
    if (!systemDevices)
        return;
    Registry &r = registry();
    for (const std::string &node : v4l2Io().nodes()) {
        CameraDescription camera;
        if (!describe(node, camera))
            continue;
        std::lock_guard<std::mutex> guard(r.lock);
        DevicePtr &known = r.byPath[node];
        if (!known || !(known->description() == camera))
            known = std::make_shared<V4l2Device>(camera, node);
        devices.push_back(known);
    }
}

} // namespace platform
