// OLE Automation strings and variants. A BSTR is task memory with its byte
// length stored in front of the text, as on Windows.
#include <quorin_platform/com.h>

#include <cwchar>

extern "C" {

BSTR WINAPI SysAllocString(const OLECHAR *psz) {
    if (!psz)
        return nullptr;
    size_t length = std::wcslen(psz);
    auto *block = static_cast<BYTE *>(CoTaskMemAlloc(sizeof(DWORD) + (length + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    DWORD bytes = static_cast<DWORD>(length * sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    auto *text = reinterpret_cast<OLECHAR *>(block + sizeof(DWORD));
    std::wmemcpy(text, psz, length + 1);
    return text;
}

void WINAPI SysFreeString(BSTR bstrString) {
    if (bstrString)
        CoTaskMemFree(reinterpret_cast<BYTE *>(bstrString) - sizeof(DWORD));
}

UINT WINAPI SysStringLen(BSTR bstr) {
    if (!bstr)
        return 0;
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<BYTE *>(bstr) - sizeof(DWORD), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void WINAPI VariantInit(VARIANT *pvarg) {
    if (!pvarg)
        return;
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANT *pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    if (pvarg->vt == VT_BSTR)
        SysFreeString(pvarg->bstrVal);
    VariantInit(pvarg);
    return S_OK;
}

} // extern "C"
