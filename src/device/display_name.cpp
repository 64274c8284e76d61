// getdisplayname(): the device's friendly name from its property bag.
#include "device/device_methods.h"
#include "device/display_name.h"
#include "module/device_type.h"
#include "module/module_error.h"
#include "module/messages.h"

#include <climits>
#include <cwchar>

namespace {

const size_t nameBytes = 100;

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Converts wide text to the locale's multibyte text, one character at a
// time, so that the result always ends inside the buffer on a character
// boundary and a character the locale cannot represent becomes "?" instead of
// spoiling the whole name.
void toLocaleText(const wchar_t *text, char (&buffer)[nameBytes]) {
    size_t used = 0;
    std::mbstate_t state{};
    for (size_t i = 0; text && text[i]; ++i) {
        char bytes[MB_LEN_MAX];
        size_t count = std::wcrtomb(bytes, text[i], &state);
        if (count == static_cast<size_t>(-1)) {
            state = std::mbstate_t{};
            bytes[0] = '?';
            count = 1;
            // Where wide text is UTF-16, one character may take two units.
            if (sizeof(wchar_t) == 2 && isHighSurrogate(text[i]) && text[i + 1])
                ++i;
        }
        if (used + count >= nameBytes)
            break;
        std::memcpy(buffer + used, bytes, count);
        used += count;
    }
    buffer[used] = '\0';
}

} // namespace

PyObject *nameToPython(const wchar_t *name) {
    char buffer[nameBytes];
    toLocaleText(name, buffer);
    // The bytes are in the locale's encoding, so they are decoded in it: on
    // Windows that is the ANSI code page the interpreter set (1252 in
    // Western Europe), where a name such as "Cam\xe9ra" is no valid UTF-8.
    return PyUnicode_DecodeLocale(buffer, nullptr);
}

PyObject *getdisplayname(PyObject *self, PyObject *) {
    DeviceRecord *record = recordOf(self);
    if (inheritedFromParent(record) && !requireGraph(record))
        return nullptr; // another process's device, which raises
    VARIANT name;
    VariantInit(&name);
    if (!record->propertyBag)
        return raiseModuleError(message::noDeviceProperties);
    if (FAILED(record->propertyBag->Read(L"FriendlyName", &name, nullptr)))
        return raiseModuleError(message::displayNameUnreadable);
    PyObject *result = nameToPython(name.vt == VT_BSTR ? name.bstrVal : nullptr);
    VariantClear(&name);
    return result;
}
