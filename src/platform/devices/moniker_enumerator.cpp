// Enumerates the monikers of a fixed list of devices, taken when the
// enumerator was made.
#include "com/com_object.h"
#include "com/guard.h"
#include "devices/factories.h"

namespace platform {

namespace {

class MonikerEnumerator final : public ComObject<IEnumMoniker> {
public:
    MonikerEnumerator(std::vector<DevicePtr> devices, size_t position)
        : devices_(std::move(devices)), position_(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IMoniker **rgelt, ULONG *pceltFetched) override {
        if (pceltFetched)
            *pceltFetched = 0;
        if (!rgelt)
            return E_POINTER;
        for (ULONG i = 0; i < celt; ++i)
            rgelt[i] = nullptr;
        PLATFORM_ENTER("IEnumMoniker::Next");
        if (celt > 1 && !pceltFetched)
            return E_INVALIDARG;
        ULONG fetched = 0;
        HRESULT made = guarded([&] {
            while (fetched < celt && position_ < devices_.size()) {
                rgelt[fetched] = createDeviceMoniker(devices_[position_]);
                ++fetched;
                ++position_;
            }
            return S_OK;
        });
        if (FAILED(made)) { // none of a partial fetch is handed out
            for (ULONG i = 0; i < fetched; ++i) {
                rgelt[i]->Release();
                rgelt[i] = nullptr;
            }
            position_ -= fetched;
            return made;
        }
        if (pceltFetched)
            *pceltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        size_t left = devices_.size() - position_;
        position_ += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker **ppenum) override {
        if (!ppenum)
            return E_POINTER;
        *ppenum = nullptr;
        return guarded([&] {
            *ppenum = new MonikerEnumerator(devices_, position_);
            return S_OK;
        });
    }

protected:
    void *findInterface(REFIID riid) override {
        return IsEqualGUID(riid, IID_IEnumMoniker) ? static_cast<IEnumMoniker *>(this) : nullptr;
    }

private:
    const std::vector<DevicePtr> devices_;
    size_t position_;
};

} // namespace

IEnumMoniker *createMonikerEnumerator(std::vector<DevicePtr> devices) {
    return new MonikerEnumerator(std::move(devices), 0);
}

} // namespace platform
