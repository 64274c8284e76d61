// Devices of the video input category, as the enumerator lists them: a
// description (name, sizes, pin, rate) and a way to capture from it.
//
// Ownership: the enumerator, its monikers and every capture filter bound to a
// device share one Device. The Device records which filter holds it in a
// graph, so that a device is in one graph at a time; each filter owns the
// FrameSource it captures through.
#pragma once

#include "dshow/media_type.h"
#include "common/locking.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {

class DeviceControls;
class FrameSource;

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
    // Each size's own rate, in the order of sizes, where sizes differ (a
    // webcam's larger sizes are slower); empty: fps at every size.
    std::vector<double> rates;
    long firstFrameMs = 0; // delay from Run to the first sample
    bool delivers = true;
    long unpluggedAfter = -1; // frames delivered each run before the device goes; -1: it stays
    FormatBlock formatBlock = FormatBlock::VideoInfo;
    long filterPages = 1;
    long pinPages = 1;

    double rateAt(FrameSize size) const;
    bool operator==(const CameraDescription &other) const;
};

class Device {
public:
    explicit Device(CameraDescription description) : description_(std::move(description)) {}
    virtual ~Device() = default;
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    const CameraDescription &description() const { return description_; }
    // The "DevicePath" property; empty for a device that has none.
    virtual std::string devicePath() const { return {}; }
    // The size the device captures at when a filter is bound to it.
    virtual FrameSize currentSize() const { return description_.sizes.front(); }
    virtual std::unique_ptr<FrameSource> createSource() const = 0;
    // The device's settings, opened for one property dialog; null, with
    // error set, when they cannot be read. A device without settings gives
    // an empty list.
    virtual std::unique_ptr<DeviceControls> openControls(std::string &error) = 0;

    // Marks the device as held by owner; false when another owner holds it.
    bool acquire(const void *owner);
    void release(const void *owner);

private:
    const CameraDescription description_;
    quorin::Mutex lock_;
    const void *holder_ GUARDED_BY(lock_) = nullptr;
};

using DevicePtr = std::shared_ptr<Device>;

} // namespace platform
