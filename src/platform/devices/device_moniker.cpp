// A device's moniker: binds to a new capture filter for the device, or to the
// device's property bag.
#include "com/com_object.h"
#include "com/guard.h"
#include "devices/factories.h"
#include "dshow/factories.h"

namespace platform {

namespace {

class DeviceMoniker final : public ComObject<IMoniker> {
public:
    explicit DeviceMoniker(DevicePtr device) : device_(std::move(device)) {}

    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx *, IMoniker *, REFIID riidResult, void **ppvResult) override {
        return bind(ppvResult, "IMoniker::BindToObject", riidResult,
                    [this] { return static_cast<IUnknown *>(createCaptureFilter(device_)); });
    }

    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx *, IMoniker *, REFIID riid, void **ppvObj) override {
        return bind(ppvObj, "IMoniker::BindToStorage", riid,
                    [this] { return static_cast<IUnknown *>(createPropertyBag(device_)); });
    }

protected:
    void *findInterface(REFIID riid) override {
        return IsEqualGUID(riid, IID_IMoniker) ? static_cast<IMoniker *>(this) : nullptr;
    }

private:
    template <class Make>
    HRESULT bind(void **out, const char *operation, REFIID riid, Make make) {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        PLATFORM_ENTER(operation);
        ComRef<IUnknown> object;
        HRESULT made = guarded([&] {
            object.adopt(make());
            return S_OK;
        });
        return FAILED(made) ? made : object->QueryInterface(riid, out);
    }

    DevicePtr device_;
};

} // namespace

IMoniker *createDeviceMoniker(const DevicePtr &device) { return new DeviceMoniker(device); }

} // namespace platform
