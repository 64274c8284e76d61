// Devices of the video input category, as the enumerator lists them: a
// description (name, sizes, pin, rate) and a way to capture from it.
//
// Ownership: the enumerator, its monikers and every capture filter bound to a
// device share one Device. The Device records which filter holds it in a
// graph, so that a device is in one graph at a time; each filter owns the
// FrameSource it captures through.
#pragma once

#include "dshow/camera_settings.h"
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

// A setting a virtual camera declares, in DirectShow's units.
struct DeclaredSetting {
    SettingFamily family;
    long property;
    long minimum, maximum, step, defaultValue;
    bool hasAuto; // then automatic at the start
    bool operator==(const DeclaredSetting &o) const {
        return family == o.family && property == o.property && minimum == o.minimum && maximum == o.maximum &&
               step == o.step && defaultValue == o.defaultValue && hasAuto == o.hasAuto;
    }
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
    std::vector<DeclaredSetting> settings; // a virtual camera's, by name

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
    // The device's settings as DirectShow names them, opened for one call;
    // null for a device that offers none, or whose settings cannot be read
    // now (every setting then reads as unsupported).
    virtual std::unique_ptr<CameraSettings> openSettings() { return nullptr; }

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
