#include "sources/v4l2/v4l2_devices.h"

#include "sources/v4l2/v4l2_controls.h"
#include "sources/v4l2/v4l2_io.h"
#include "sources/v4l2/v4l2_modes.h"
#include "sources/v4l2/v4l2_source.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<bool> systemDevices{true};

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

// Says once per process and node that the user may not open it, and how to
// mend that: such a node is not listed, and would otherwise vanish unsaid.
void sayUnopenable(const std::string &path, int error) {
    static std::mutex lock;
    static std::set<std::string> told;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!told.insert(path).second)
            return;
    }
    std::string group = v4l2Io().groupOf(path);
    std::string remedy = group.empty() ? "ask for access to it"
                                       : "add the user to the group \"" + group + "\" that owns it, then log in again";
    std::fprintf(stderr, "quorin platform: %s cannot be opened (%s), so it is not listed: %s\n", path.c_str(),
                 std::strerror(error), remedy.c_str());
    std::fflush(stderr);
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
    if (node.get() < 0) {
        if (errno == EACCES || errno == EPERM)
            sayUnopenable(path, errno);
        return false;
    }
    v4l2_capability capability{};
    if (xioctl(node.get(), VIDIOC_QUERYCAP, &capability) != 0)
        return false;
    uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
        return false;
    camera = CameraDescription{};
    const char *card = reinterpret_cast<const char *>(capability.card);
    camera.name.assign(card, strnlen(card, sizeof capability.card));
    // A driver that lists no intervals runs at the rate it reports now.
    v4l2_streamparm rate{};
    rate.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(node.get(), VIDIOC_G_PARM, &rate) == 0 && (rate.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) &&
        rate.parm.capture.timeperframe.numerator > 0 && rate.parm.capture.timeperframe.denominator > 0)
        camera.fps =
            static_cast<double>(rate.parm.capture.timeperframe.denominator) / rate.parm.capture.timeperframe.numerator;
    // Only sizes that a format the platform converts offers: a node of
    // H.264 alone is no video input device.
    describeSizes(listModes(node.get()), camera.fps, camera.sizes, camera.rates);
    return !camera.sizes.empty();
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
