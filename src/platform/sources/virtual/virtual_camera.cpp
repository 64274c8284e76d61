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

// The one setting of a virtual camera: the brightness of its bars.
class VirtualControls final : public DeviceControls {
public:
    explicit VirtualControls(std::atomic<int> &brightness) : brightness_(brightness) {}

    std::vector<Control> list() override {
        Control c;
        c.id = brightnessId;
        c.name = "Brightness";
        c.group = "User Controls";
        c.maximum = c.defaultValue = maximumBrightness;
        c.value = brightness_.load();
        return {c};
    }

    std::string set(uint32_t id, int64_t value) override {
        if (id != brightnessId)
            return "no such control";
        if (value < 0 || value > maximumBrightness)
            return "the value is out of range";
        // Tests make the camera refuse a value through the failure injection.
        if (std::optional<HRESULT> refused = enterOperation("VirtualCamera::SetControl")) {
            char reason[64];
            std::snprintf(reason, sizeof reason, "the camera refused the value (0x%08X)",
                          static_cast<unsigned>(*refused));
            return reason;
        }
        brightness_ = static_cast<int>(value);
        return {};
    }

private:
    static constexpr uint32_t brightnessId = 0x00980900; // V4L2's V4L2_CID_BRIGHTNESS
    std::atomic<int> &brightness_;
};

class VirtualCamera final : public Device {
public:
    using Device::Device;
    std::unique_ptr<FrameSource> createSource() const override {
        return createVirtualSource(description(), brightness_);
    }
    std::unique_ptr<DeviceControls> openControls(std::string &) override {
        return std::make_unique<VirtualControls>(brightness_);
    }

private:
    // Outlives every source and control set of the camera: each filter that
    // makes them holds the camera.
    std::atomic<int> brightness_{maximumBrightness};
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
