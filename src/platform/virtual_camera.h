// Virtual cameras: devices described as data. A camera is declared in the
// QUORIN_VIRTUAL_CAMERAS environment variable (read at every enumeration) or
// added at run time through the control surface.
//
// Ownership: the enumerator, its monikers and every capture filter bound to a
// camera share one Device; the Device records which filter holds it in a
// graph, so that one camera is in one graph at a time.
#pragma once

#include "media_type.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct FrameSize {
    LONG width;
    LONG height;
    bool operator==(const FrameSize &other) const { return width == other.width && height == other.height; }
};

struct CameraDescription {
    std::string name;
    std::vector<FrameSize> sizes{{640, 480}}; // the first is the starting format
    bool interleaved = false;                 // capture pin's major type
    double fps = 30.0;
    long firstFrameMs = 0; // delay from Run to the first sample
    bool delivers = true;
    FormatBlock formatBlock = FormatBlock::VideoInfo;
    long filterPages = 1;
    long pinPages = 1;

    bool operator==(const CameraDescription &other) const;
};

class Device {
public:
    explicit Device(CameraDescription description) : description_(std::move(description)) {}
    const CameraDescription &description() const { return description_; }

    // Marks the device as held by owner; false when another owner holds it.
    bool acquire(const void *owner);
    void release(const void *owner);

private:
    const CameraDescription description_;
    std::mutex lock_;
    const void *holder_ = nullptr;
};

using DevicePtr = std::shared_ptr<Device>;

// Parses one camera object (text of a JSON object) or the whole declaration
// (a JSON array). On error returns false and sets error to one line.
bool parseCamera(const std::string &json, CameraDescription &camera, std::string &error);
bool parseCameraList(const std::string &json, std::vector<CameraDescription> &cameras, std::string &error);

// The video input devices in enumeration order: the declared cameras, then
// those added at run time. False, with error set, when the declaration is
// malformed. The same camera yields the same Device while its declaration
// stays the same.
bool listVideoInputDevices(std::vector<DevicePtr> &devices, std::string &error);

void addRuntimeCamera(const CameraDescription &camera);
int removeRuntimeCameras(const std::string &name);
void clearRuntimeCameras();

} // namespace platform
