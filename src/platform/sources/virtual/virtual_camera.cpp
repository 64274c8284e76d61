#include "sources/virtual/virtual_camera.h"

#include "com/environment.h"
#include "com/instrumentation.h"
#include "dshow/device_controls.h"
#include "sources/virtual/declaration.h"
#include "sources/virtual/frame_generator.h"

#include "com/process_state.h"
#include "common/locking.h"
#include "sources/virtual/virtual_source.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

// A virtual camera's settings as they stand: those it declares, each with
// its value and mode, kept by the camera for every filter, dialog and call.
class SettingState {
public:
    SettingState(const std::vector<DeclaredSetting> &declared, PictureSettings &picture)
        : declared_(declared), picture_(picture) {
        for (const DeclaredSetting &d : declared_)
            now_.push_back({d.defaultValue, d.hasAuto});
    }

    const std::vector<DeclaredSetting> &declared() const { return declared_; }

    // The index of a declared setting; -1 for none.
    int find(SettingFamily family, long property) const {
        for (size_t i = 0; i < declared_.size(); ++i)
            if (declared_[i].family == family && declared_[i].property == property)
                return static_cast<int>(i);
        return -1;
    }

    void get(int index, long &value, bool &automatic) {
        quorin::Lock guard(lock_);
        value = now_[static_cast<size_t>(index)].value;
        automatic = now_[static_cast<size_t>(index)].automatic;
    }

    // False when the value is outside the setting's range.
    bool set(int index, long value, bool automatic) {
        const DeclaredSetting &d = declared_[static_cast<size_t>(index)];
        if (!automatic && (value < d.minimum || value > d.maximum))
            return false;
        quorin::Lock guard(lock_);
        Now &now = now_[static_cast<size_t>(index)];
        now.automatic = automatic;
        if (!automatic)
            now.value = value;
        // Left to itself, the camera keeps its brightness at the default.
        if (d.family == SettingFamily::VideoProcAmp && d.property == VideoProcAmp_Brightness)
            picture_.offset = static_cast<int>(now.automatic ? 0 : now.value - d.defaultValue);
        return true;
    }

private:
    struct Now {
        long value;
        bool automatic;
    };
    const std::vector<DeclaredSetting> &declared_;
    PictureSettings &picture_;
    quorin::Mutex lock_;
    std::vector<Now> now_ GUARDED_BY(lock_);
};

// The settings a virtual camera's dialog shows: those it declares, or else
// the brightness of its bars. Names as the dialogs of Windows' own filter
// give them.
const char *const settingTitles[2][10] = {
    {"Brightness", "Contrast", "Hue", "Saturation", "Sharpness", "Gamma", "ColorEnable", "WhiteBalance",
     "BacklightCompensation", "Gain"},
    {"Pan", "Tilt", "Roll", "Zoom", "Exposure", "Iris", "Focus"},
};

class VirtualControls final : public DeviceControls {
public:
    VirtualControls(SettingState &settings, std::atomic<int> &scale) : settings_(settings), scale_(scale) {}

    std::vector<Control> list() override {
        std::vector<Control> controls;
        if (settings_.declared().empty()) {
            Control c;
            c.id = brightnessId;
            c.name = "Brightness";
            c.group = "User Controls";
            c.maximum = c.defaultValue = maximumBrightness;
            c.value = scale_.load();
            controls.push_back(c);
        }
        for (size_t i = 0; i < settings_.declared().size(); ++i) {
            const DeclaredSetting &d = settings_.declared()[i];
            bool camera = d.family == SettingFamily::CameraControl;
            Control c;
            c.id = declaredId + static_cast<uint32_t>(i);
            c.name = settingTitles[camera][d.property];
            c.group = camera ? "Camera Controls" : "User Controls";
            c.minimum = d.minimum;
            c.maximum = d.maximum;
            c.step = d.step;
            c.defaultValue = d.defaultValue;
            long value;
            bool automatic;
            settings_.get(static_cast<int>(i), value, automatic);
            c.value = value;
            controls.push_back(c);
        }
        return controls;
    }

    std::string set(uint32_t id, int64_t value) override {
        bool legacy = id == brightnessId && settings_.declared().empty();
        size_t index = id - declaredId;
        if (!legacy && (id < declaredId || index >= settings_.declared().size()))
            return "no such control";
        const long low = legacy ? 0 : settings_.declared()[index].minimum;
        const long high = legacy ? maximumBrightness : settings_.declared()[index].maximum;
        if (value < low || value > high)
            return "the value is out of range";
        // Tests make the camera refuse a value through the failure injection.
        if (std::optional<HRESULT> refused = enterOperation("VirtualCamera::SetControl")) {
            char reason[64];
            std::snprintf(reason, sizeof reason, "the camera refused the value (0x%08X)",
                          static_cast<unsigned>(*refused));
            return reason;
        }
        if (legacy)
            scale_ = static_cast<int>(value);
        else
            settings_.set(static_cast<int>(index), static_cast<long>(value), false);
        return {};
    }

private:
    static constexpr uint32_t brightnessId = 0x00980900; // V4L2's V4L2_CID_BRIGHTNESS
    static constexpr uint32_t declaredId = 0x00F00000;   // then one for each declared setting, in order
    SettingState &settings_;
    std::atomic<int> &scale_;
};

// The declared settings through IAMVideoProcAmp and IAMCameraControl.
class VirtualSettings final : public CameraSettings {
public:
    explicit VirtualSettings(SettingState &settings) : settings_(settings) {}

    HRESULT range(SettingFamily family, long property, SettingRange &range) override {
        int index = settings_.find(family, property);
        if (index < 0)
            return E_PROP_ID_UNSUPPORTED;
        const DeclaredSetting &d = settings_.declared()[static_cast<size_t>(index)];
        range = {d.minimum, d.maximum, d.step, d.defaultValue, d.hasAuto};
        return S_OK;
    }
    HRESULT get(SettingFamily family, long property, long &value, bool &automatic) override {
        int index = settings_.find(family, property);
        if (index < 0)
            return E_PROP_ID_UNSUPPORTED;
        settings_.get(index, value, automatic);
        return S_OK;
    }
    HRESULT set(SettingFamily family, long property, long value, bool automatic) override {
        int index = settings_.find(family, property);
        if (index < 0 || (automatic && !settings_.declared()[static_cast<size_t>(index)].hasAuto))
            return E_PROP_ID_UNSUPPORTED;
        return settings_.set(index, value, automatic) ? S_OK : E_INVALIDARG;
    }

private:
    SettingState &settings_;
};

class VirtualCamera final : public Device {
public:
    explicit VirtualCamera(const CameraDescription &description)
        : Device(description), settings_(this->description().settings, picture_) {}
    std::unique_ptr<FrameSource> createSource() const override { return createVirtualSource(description(), picture_); }
    std::unique_ptr<DeviceControls> openControls(std::string &) override {
        return std::make_unique<VirtualControls>(settings_, picture_.scale);
    }
    std::unique_ptr<CameraSettings> openSettings() override { return std::make_unique<VirtualSettings>(settings_); }

private:
    // Outlive every source and control set of the camera: each filter that
    // makes them holds the camera.
    PictureSettings picture_;
    SettingState settings_;
};

struct Registry {
    quorin::Mutex lock;
    std::vector<DevicePtr> declared GUARDED_BY(lock); // from the environment, reused while unchanged
    std::vector<DevicePtr> added GUARDED_BY(lock);
};

Registry &registry() { return ProcessState<Registry>::get(); }

} // namespace

bool listVirtualCameras(std::vector<DevicePtr> &devices, std::string &error) {
    std::vector<CameraDescription> cameras;
    std::string declaration = environmentValue("QUORIN_VIRTUAL_CAMERAS").value_or("");
    if (!declaration.empty() && !parseCameraList(declaration, cameras, error)) {
        error = "QUORIN_VIRTUAL_CAMERAS: " + error;
        return false;
    }
    Registry &r = registry();
    quorin::Lock guard(r.lock);
    r.declared.resize(cameras.size());
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (!r.declared[i] || !(r.declared[i]->description() == cameras[i]))
            r.declared[i] = std::make_shared<VirtualCamera>(cameras[i]);
    }
    devices.insert(devices.end(), r.declared.begin(), r.declared.end());
    devices.insert(devices.end(), r.added.begin(), r.added.end());
    return true;
}

void addRuntimeCamera(const CameraDescription &camera) {
    Registry &r = registry();
    quorin::Lock guard(r.lock);
    r.added.push_back(std::make_shared<VirtualCamera>(camera));
}

int removeRuntimeCameras(const std::string &name) {
    Registry &r = registry();
    quorin::Lock guard(r.lock);
    size_t before = r.added.size();
    r.added.erase(std::remove_if(r.added.begin(), r.added.end(),
                                 [&](const DevicePtr &d) { return d->description().name == name; }),
                  r.added.end());
    return static_cast<int>(before - r.added.size());
}

void clearRuntimeCameras() {
    Registry &r = registry();
    quorin::Lock guard(r.lock);
    r.added.clear();
}

} // namespace platform
