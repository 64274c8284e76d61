#include "sources/virtual/virtual_camera.h"

#include "sources/virtual/declaration.h"
#include "sources/virtual/virtual_source.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

class VirtualCamera final : public Device {
public:
    using Device::Device;
    std::unique_ptr<FrameSource> createSource() const override { return createVirtualSource(description()); }
};

struct Registry {
    std::mutex lock;
    std::vector<DevicePtr> declared; // from the environment, reused while unchanged
    std::vector<DevicePtr> added;
};

Registry &registry() {
    static Registry *instance = new Registry; // outlives static teardown, as filters may
    return *instance;
}

} // namespace

bool listVirtualCameras(std::vector<DevicePtr> &devices, std::string &error) {
    std::vector<CameraDescription> cameras;
    const char *declaration = std::getenv("QUORIN_VIRTUAL_CAMERAS");
    if (declaration && *declaration && !parseCameraList(declaration, cameras, error)) {
        error = "QUORIN_VIRTUAL_CAMERAS: " + error;
        return false;
    }
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
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
    std::lock_guard<std::mutex> guard(r.lock);
    r.added.push_back(std::make_shared<VirtualCamera>(camera));
}

int removeRuntimeCameras(const std::string &name) {
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    size_t before = r.added.size();
    r.added.erase(std::remove_if(r.added.begin(), r.added.end(),
                                 [&](const DevicePtr &d) { return d->description().name == name; }),
                  r.added.end());
    return static_cast<int>(before - r.added.size());
}

void clearRuntimeCameras() {
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.added.clear();
}

} // namespace platform
