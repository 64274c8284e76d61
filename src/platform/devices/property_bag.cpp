// A device's property bag: "FriendlyName" is the device's name, as wide text
// decoded from UTF-8; "DevicePath" the node of a system device.
#include "com/com_object.h"
#include "devices/factories.h"

#include <string>

namespace platform {

namespace {

// Decodes UTF-8; a malformed sequence becomes U+FFFD.
std::wstring widen(const std::string &text) {
    std::wstring out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
        uint32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!ok || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
            continue;
        }
        if (sizeof(wchar_t) == 2 && code > 0xFFFF) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

class PropertyBag final : public ComObject<IPropertyBag> {
public:
    explicit PropertyBag(const DevicePtr &device)
        : friendlyName_(widen(device->description().name)), devicePath_(widen(device->devicePath())) {}

    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR pszPropName, VARIANT *pVar, IErrorLog *) override {
        if (!pVar)
            return E_POINTER;
        PLATFORM_ENTER("IPropertyBag::Read");
        if (!pszPropName)
            return E_POINTER;
        std::wstring property(pszPropName);
        const std::wstring *text = property == L"FriendlyName"                         ? &friendlyName_
                                   : property == L"DevicePath" && !devicePath_.empty() ? &devicePath_
                                                                                       : nullptr;
        if (!text)
            return E_INVALIDARG;
        BSTR value = SysAllocString(text->c_str());
        if (!value)
            return E_OUTOFMEMORY;
        VariantClear(pVar);
        pVar->vt = VT_BSTR;
        pVar->bstrVal = value;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT *) override { return E_ACCESSDENIED; }

protected:
    void *findInterface(REFIID riid) override {
        return IsEqualGUID(riid, IID_IPropertyBag) ? static_cast<IPropertyBag *>(this) : nullptr;
    }

private:
    const std::wstring friendlyName_;
    const std::wstring devicePath_;
};

} // namespace

IPropertyBag *createPropertyBag(const DevicePtr &device) { return new PropertyBag(device); }

} // namespace platform
