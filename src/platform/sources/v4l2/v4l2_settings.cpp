// uvcvideo gives a UVC camera's controls in the units of USB Video
// Class 1.5, section 4.2.2; Windows' UVC driver gives the same
// controls through IAMVideoProcAmp and IAMCameraControl in the units of
// its kernel-streaming properties (KSPROPERTY_VIDEOPROCAMP_* and
// KSPROPERTY_CAMERACONTROL_*). Most are the same numbers; where the units
// differ, the value is converted:
//   pan, tilt: UVC arc seconds, Windows degrees;
//   exposure: UVC 100 µs units (V4L2's absolute exposure), Windows log2 of
//     seconds (-6 is 1/64 s);
//   iris: UVC f-stop times 100, Windows f-stop times 10.
// A setting's automatic mode is the V4L2 control that switches it: white
// balance's, focus's, hue's and gain's automatic switches, and exposure's
// mode (automatic where the camera offers it, else aperture priority, the
// mode in which a webcam times its exposure itself; by hand is "manual").
#include "sources/v4l2/v4l2_settings.h"

#include "sources/v4l2/v4l2_io.h"
#include "sources/v4l2/v4l2_source.h"

#include <linux/videodev2.h>

#include <cmath>
#include <cstdint>

namespace platform {

namespace {

enum class Unit { Same, ArcSeconds, Exposure, Iris };

struct Mapping {
    SettingFamily family;
    long property;
    uint32_t id;
    uint32_t autoId; // 0: none
    Unit unit;
};

constexpr SettingFamily procAmp = SettingFamily::VideoProcAmp, camera = SettingFamily::CameraControl;

// Colour enable and roll have no V4L2 control that uvcvideo maps.
const Mapping mappings[] = {
    {procAmp, VideoProcAmp_Brightness, V4L2_CID_BRIGHTNESS, 0, Unit::Same},
    {procAmp, VideoProcAmp_Contrast, V4L2_CID_CONTRAST, 0, Unit::Same},
    {procAmp, VideoProcAmp_Hue, V4L2_CID_HUE, V4L2_CID_HUE_AUTO, Unit::Same},
    {procAmp, VideoProcAmp_Saturation, V4L2_CID_SATURATION, 0, Unit::Same},
    {procAmp, VideoProcAmp_Sharpness, V4L2_CID_SHARPNESS, 0, Unit::Same},
    {procAmp, VideoProcAmp_Gamma, V4L2_CID_GAMMA, 0, Unit::Same},
    {procAmp, VideoProcAmp_WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE, Unit::Same},
    {procAmp, VideoProcAmp_BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION, 0, Unit::Same},
    {procAmp, VideoProcAmp_Gain, V4L2_CID_GAIN, V4L2_CID_AUTOGAIN, Unit::Same},
    {camera, CameraControl_Pan, V4L2_CID_PAN_ABSOLUTE, 0, Unit::ArcSeconds},
    {camera, CameraControl_Tilt, V4L2_CID_TILT_ABSOLUTE, 0, Unit::ArcSeconds},
    {camera, CameraControl_Zoom, V4L2_CID_ZOOM_ABSOLUTE, 0, Unit::Same},
    {camera, CameraControl_Exposure, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, Unit::Exposure},
    {camera, CameraControl_Iris, V4L2_CID_IRIS_ABSOLUTE, 0, Unit::Iris},
    {camera, CameraControl_Focus, V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, Unit::Same},
};

const Mapping *mappingOf(SettingFamily family, long property) {
    for (const Mapping &m : mappings)
        if (m.family == family && m.property == property)
            return &m;
    return nullptr;
}

// A device value in Windows' units, rounded to the nearest.
long toWindows(Unit unit, int64_t value) {
    switch (unit) {
    case Unit::ArcSeconds:
        return std::lround(static_cast<double>(value) / 3600);
    case Unit::Exposure:
        return std::lround(std::log2(static_cast<double>(value < 1 ? 1 : value) / 10000));
    case Unit::Iris:
        return std::lround(static_cast<double>(value) / 10);
    case Unit::Same:
        break;
    }
    return static_cast<long>(value);
}

// A value in Windows' units as the device's, before it is fitted to the
// device's range.
double toDevice(Unit unit, long value) {
    switch (unit) {
    case Unit::ArcSeconds:
        return static_cast<double>(value) * 3600;
    case Unit::Exposure:
        return 10000 * std::exp2(static_cast<double>(value));
    case Unit::Iris:
        return static_cast<double>(value) * 10;
    case Unit::Same:
        break;
    }
    return static_cast<double>(value);
}

HRESULT failure() { return resultFromErrno(errno); }

class V4l2Settings final : public CameraSettings {
public:
    explicit V4l2Settings(int fd) : fd_(fd) {}
    ~V4l2Settings() override { v4l2Io().close(fd_); }

    HRESULT range(SettingFamily family, long property, SettingRange &range) override {
        const Mapping *m = mappingOf(family, property);
        v4l2_query_ext_ctrl query{};
        if (!m || !describe(m->id, query))
            return E_PROP_ID_UNSUPPORTED;
        range.minimum = toWindows(m->unit, query.minimum);
        range.maximum = toWindows(m->unit, query.maximum);
        // Rounding may take an end past the device's: keep it inside.
        if (toDevice(m->unit, range.minimum) < static_cast<double>(query.minimum) && range.minimum < range.maximum)
            ++range.minimum;
        if (toDevice(m->unit, range.maximum) > static_cast<double>(query.maximum) && range.maximum > range.minimum)
            --range.maximum;
        long step = m->unit == Unit::Exposure ? 1 : toWindows(m->unit, static_cast<int64_t>(query.step));
        range.step = step > 0 ? step : 1;
        range.defaultValue = toWindows(m->unit, query.default_value);
        range.hasAuto = automaticMode(*m) >= 0;
        return S_OK;
    }

    HRESULT get(SettingFamily family, long property, long &value, bool &automatic) override {
        const Mapping *m = mappingOf(family, property);
        v4l2_query_ext_ctrl query{};
        if (!m || !describe(m->id, query))
            return E_PROP_ID_UNSUPPORTED;
        int32_t now = 0;
        if (!read(m->id, now))
            return failure();
        value = toWindows(m->unit, now);
        automatic = false;
        int32_t mode = 0;
        if (automaticMode(*m) >= 0 && read(m->autoId, mode))
            automatic = m->unit == Unit::Exposure ? mode != V4L2_EXPOSURE_MANUAL : mode != 0;
        return S_OK;
    }

    HRESULT set(SettingFamily family, long property, long value, bool automatic) override {
        const Mapping *m = mappingOf(family, property);
        v4l2_query_ext_ctrl query{};
        if (!m || !describe(m->id, query))
            return E_PROP_ID_UNSUPPORTED;
        int32_t autoOn = automaticMode(*m), autoOff = m->unit == Unit::Exposure ? V4L2_EXPOSURE_MANUAL : 0;
        if (automatic)
            return autoOn < 0 ? E_PROP_ID_UNSUPPORTED : write(m->autoId, autoOn);
        SettingRange limits;
        range(family, property, limits);
        if (value < limits.minimum || value > limits.maximum)
            return E_INVALIDARG;
        double wanted = std::round(toDevice(m->unit, value));
        int64_t deviceValue = static_cast<int64_t>(
            std::fmin(std::fmax(wanted, static_cast<double>(query.minimum)), static_cast<double>(query.maximum)));
        // By hand: the automatic mode off first (the value is refused while
        // it runs), and back on if the value is refused after all.
        int32_t mode = autoOff;
        bool wasAuto = autoOn >= 0 && read(m->autoId, mode) && mode != autoOff;
        if (wasAuto) {
            HRESULT hr = write(m->autoId, autoOff);
            if (FAILED(hr))
                return hr;
        }
        HRESULT hr = write(m->id, static_cast<int32_t>(deviceValue));
        if (FAILED(hr) && wasAuto)
            write(m->autoId, mode);
        return hr;
    }

private:
    // The control, where the device offers it as one number to read and set.
    bool describe(uint32_t id, v4l2_query_ext_ctrl &query) {
        query = v4l2_query_ext_ctrl{};
        query.id = id;
        return xioctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) == 0 && query.id == id &&
               !(query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) &&
               (query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN ||
                query.type == V4L2_CTRL_TYPE_MENU);
    }

    // The value that hands the setting to the device; -1 where it has no
    // automatic mode.
    int32_t automaticMode(const Mapping &m) {
        v4l2_query_ext_ctrl query{};
        if (!m.autoId || !describe(m.autoId, query))
            return -1;
        if (m.unit != Unit::Exposure)
            return 1;
        for (int32_t mode : {V4L2_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY}) {
            v4l2_querymenu item{};
            item.id = m.autoId;
            item.index = static_cast<uint32_t>(mode);
            if (mode >= query.minimum && mode <= query.maximum && xioctl(fd_, VIDIOC_QUERYMENU, &item) == 0)
                return mode;
        }
        return -1;
    }

    bool read(uint32_t id, int32_t &value) {
        v4l2_control control{};
        control.id = id;
        if (xioctl(fd_, VIDIOC_G_CTRL, &control) != 0)
            return false;
        value = control.value;
        return true;
    }

    HRESULT write(uint32_t id, int32_t value) {
        v4l2_control control{};
        control.id = id;
        control.value = value;
        return xioctl(fd_, VIDIOC_S_CTRL, &control) == 0 ? S_OK : failure();
    }

    int fd_;
};

} // namespace

std::unique_ptr<CameraSettings> openV4l2Settings(const std::string &path) {
    // As the dialogs' controls: the capture filter's own file where it holds
    // the node (only that file may set controls then), else one of its own.
    int fd = duplicateClaimedFile(path);
    if (fd < 0)
        fd = openNode(path);
    if (fd < 0)
        return nullptr;
    return std::make_unique<V4l2Settings>(fd);
}

} // namespace platform
