#include "sources/v4l2/v4l2_controls.h"

#include "sources/v4l2/v4l2_io.h"
#include "sources/v4l2/v4l2_source.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

namespace platform {

namespace {

std::string nameOf(const char *text, size_t size) { return std::string(text, strnlen(text, size)); }

// The classes whose controls set a camera up: the common picture controls
// and the camera's own (exposure, focus, zoom...).
bool shownClass(uint32_t id) {
    uint32_t kind = V4L2_CTRL_ID2CLASS(id);
    return kind == V4L2_CTRL_CLASS_USER || kind == V4L2_CTRL_CLASS_CAMERA;
}

// The control types these pages show; 64-bit integers, strings, bitmasks
// and arrays are not among them.
bool typeOf(uint32_t v4l2Type, ControlType &type) {
    static const std::pair<uint32_t, ControlType> shown[] = {
        {V4L2_CTRL_TYPE_INTEGER, ControlType::Integer}, {V4L2_CTRL_TYPE_BOOLEAN, ControlType::Boolean},
        {V4L2_CTRL_TYPE_MENU, ControlType::Menu},       {V4L2_CTRL_TYPE_INTEGER_MENU, ControlType::IntegerMenu},
        {V4L2_CTRL_TYPE_BUTTON, ControlType::Button},
    };
    for (const auto &entry : shown) {
        if (entry.first == v4l2Type) {
            type = entry.second;
            return true;
        }
    }
    return false;
}

// The last id of the classes shown: no control after it is asked for.
constexpr uint32_t lastShownId = V4L2_CTRL_CLASS_CAMERA | 0xFFFF;
// How far past a control the next of its class is looked for, one id at a
// time: a class's standard controls lie closer together than this, from
// the class's first (V4L2_CID_USER_BASE, V4L2_CID_CAMERA_CLASS_BASE).
constexpr uint32_t nearbyIds = 64;
constexpr uint32_t classFirstId = 0x900;

class V4l2Controls final : public DeviceControls {
public:
    explicit V4l2Controls(int fd) : fd_(fd) {}
    ~V4l2Controls() override { v4l2Io().close(fd_); }

    std::vector<Control> list() override {
        std::vector<Control> controls;
        std::map<uint32_t, std::string> groups; // the driver's name for each class
        uint32_t after = 0;
        while (after < lastShownId) {
            v4l2_query_ext_ctrl query{};
            query.id = after | V4L2_CTRL_FLAG_NEXT_CTRL;
            // The end of the list, a driver that would go round for ever,
            // or one that cannot describe the next control: look past it.
            if (xioctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) != 0 || query.id <= after) {
                std::optional<v4l2_query_ext_ctrl> beyond = describedAfter(after);
                if (!beyond) {
                    after = V4L2_CTRL_ID2CLASS(after + 1) | 0xFFFF; // on to the next class
                    continue;
                }
                query = *beyond;
            }
            after = query.id;
            if (query.type == V4L2_CTRL_TYPE_CTRL_CLASS) {
                groups[V4L2_CTRL_ID2CLASS(query.id)] = nameOf(query.name, sizeof query.name);
                continue;
            }
            Control c;
            if (!shownClass(query.id) || (query.flags & V4L2_CTRL_FLAG_DISABLED) || !typeOf(query.type, c.type))
                continue;
            c.id = query.id;
            c.name = nameOf(query.name, sizeof query.name);
            auto named = groups.find(V4L2_CTRL_ID2CLASS(query.id));
            c.group = named != groups.end() ? named->second : defaultGroup(query.id);
            c.minimum = query.minimum;
            c.maximum = query.maximum;
            c.step = query.step ? static_cast<int64_t>(query.step) : 1;
            c.defaultValue = query.default_value;
            c.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
            c.readOnly = query.flags & V4L2_CTRL_FLAG_READ_ONLY;
            c.grabbed = query.flags & V4L2_CTRL_FLAG_GRABBED;
            if (c.type != ControlType::Button && !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY))
                c.value = read(c.id, c.defaultValue);
            if (c.type == ControlType::Menu || c.type == ControlType::IntegerMenu)
                listChoices(c);
            controls.push_back(std::move(c));
        }
        return controls;
    }

    std::string set(uint32_t id, int64_t value) override {
        v4l2_control control{};
        control.id = id;
        control.value = static_cast<int32_t>(value);
        if (value < INT32_MIN || value > INT32_MAX)
            return "the value is out of range";
        if (xioctl(fd_, VIDIOC_S_CTRL, &control) != 0)
            return std::string("the device refused the value (") + std::strerror(errno) + ")";
        return {};
    }

private:
    // The first control the driver describes among the ids just after
    // after. A camera that stalls a control's request makes uvcvideo fail
    // to describe it (with EINVAL, as at the end of the list, where the
    // camera calls the request invalid; EIO or EPIPE otherwise), which
    // would end the list there and hide the controls after it.
    std::optional<v4l2_query_ext_ctrl> describedAfter(uint32_t after) {
        // A class's own control (its name) lies below its first control.
        const uint32_t from = std::max<uint32_t>(after + 1, V4L2_CTRL_ID2CLASS(after) | classFirstId);
        for (uint32_t id = from; id < from + nearbyIds && id <= lastShownId; ++id) {
            v4l2_query_ext_ctrl query{};
            query.id = id;
            if (xioctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) == 0 && query.id == id)
                return query;
        }
        return std::nullopt;
    }

    static std::string defaultGroup(uint32_t id) {
        return V4L2_CTRL_ID2CLASS(id) == V4L2_CTRL_CLASS_CAMERA ? "Camera Controls" : "User Controls";
    }

    int64_t read(uint32_t id, int64_t fallback) {
        v4l2_control control{};
        control.id = id;
        return xioctl(fd_, VIDIOC_G_CTRL, &control) == 0 ? control.value : fallback;
    }

    // A menu's entries; the indices a driver skips (gaps) are left out.
    void listChoices(Control &c) {
        for (int64_t index = c.minimum; index <= c.maximum && index - c.minimum < 1024; ++index) {
            v4l2_querymenu item{};
            item.id = c.id;
            item.index = static_cast<uint32_t>(index);
            if (xioctl(fd_, VIDIOC_QUERYMENU, &item) != 0)
                continue;
            std::string label = c.type == ControlType::Menu
                                    ? nameOf(reinterpret_cast<const char *>(item.name), sizeof item.name)
                                    : std::to_string(static_cast<long long>(item.value));
            c.choices.push_back({index, label});
        }
    }

    int fd_;
};

} // namespace

std::unique_ptr<DeviceControls> openV4l2Controls(const std::string &path, std::string &error) {
    // The capture filter's own file where it holds the node (only its file
    // may set controls then: it holds record priority), else a file of its
    // own, which can read and set controls while another process streams.
    int fd = duplicateClaimedFile(path);
    if (fd < 0)
        fd = openNode(path);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<V4l2Controls>(fd);
}

} // namespace platform
