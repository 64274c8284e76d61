#include "sources/v4l2/v4l2_devices.h"
#include "com/diagnostics.h"

#include "sources/v4l2/v4l2_controls.h"
#include "sources/v4l2/v4l2_io.h"
#include "sources/v4l2/v4l2_modes.h"
#include "sources/v4l2/v4l2_settings.h"
#include "sources/v4l2/v4l2_source.h"
#include "sources/v4l2/v4l2_usb_name.h"
#include "com/process_state.h"
#include "common/locking.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
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
struct Told {
    quorin::Mutex lock;
    std::set<std::string> paths GUARDED_BY(lock);
};

void sayUnopenable(const std::string &path, int error) {
    Told &told = ProcessState<Told>::get();
    {
        quorin::Lock guard(told.lock);
        if (!told.paths.insert(path).second)
            return;
    }
    std::string group = v4l2Io().groupOf(path);
    std::string remedy = group.empty() ? "ask for access to it"
                                       : "add the user to the group \"" + group + "\" that owns it, then log in again";
    say(path + " cannot be opened (" + std::strerror(error) + "), so it is not listed: " + remedy);
}

// Whether text a comes before b, numbers within them compared as numbers
// ("usb-0000:00:14.0-2" before "usb-0000:00:14.0-10").
bool naturallyBefore(const std::string &a, const std::string &b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            std::string x = a.substr(i, endA - i), y = b.substr(j, endB - j);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

class V4l2Device final : public Device {
public:
    V4l2Device(CameraDescription description, std::string path)
        : Device(std::move(description)), path_(std::move(path)) {}

    std::string devicePath() const override { return path_; }
    std::unique_ptr<FrameSource> createSource() const override { return createV4l2Source(path_); }
    std::unique_ptr<DeviceControls> openControls(std::string &error) override { return openV4l2Controls(path_, error); }
    std::unique_ptr<CameraSettings> openSettings() override { return openV4l2Settings(path_); }

private:
    const std::string path_;
};

// Describes the node at path with the bus it hangs on, or returns false
// when it cannot capture video.
bool describe(const std::string &path, CameraDescription &camera, std::string &bus) {
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
    const char *busInfo = reinterpret_cast<const char *>(capability.bus_info);
    bus.assign(busInfo, strnlen(busInfo, sizeof capability.bus_info));
    const char *card = reinterpret_cast<const char *>(capability.card);
    camera.name = usbFunctionName(path, std::string(card, strnlen(card, sizeof capability.card)));
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
    quorin::Mutex lock;
    std::map<std::string, DevicePtr>
        byPath GUARDED_BY(lock); // the same node keeps its Device while its description holds
};

Registry &registry() { return ProcessState<Registry>::get(); }

} // namespace

void useSystemDevices(bool on) { systemDevices = on; }

void listV4l2Devices(std::vector<DevicePtr> &devices) {
    if (!systemDevices)
        return;
    Registry &r = registry();
    // In the order of the buses the devices hang on, so that a camera keeps
    // its number whatever was plugged in first, and one plugged back in
    // (under a new node) gets its old number back.
    struct Found {
        std::string bus;
        DevicePtr device;
    };
    std::vector<Found> found;
    for (const std::string &node : v4l2Io().nodes()) {
        CameraDescription camera;
        std::string bus;
        if (!describe(node, camera, bus))
            continue;
        quorin::Lock guard(r.lock);
        DevicePtr &known = r.byPath[node];
        if (!known || !(known->description() == camera))
            known = std::make_shared<V4l2Device>(camera, node);
        found.push_back({bus, known});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found &a, const Found &b) { return naturallyBefore(a.bus, b.bus); });
    for (Found &f : found)
        devices.push_back(std::move(f.device));
}

} // namespace platform
