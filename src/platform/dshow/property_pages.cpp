#include "dshow/property_pages.h"

#include "com/instrumentation.h"

namespace platform {

HRESULT fillPages(CAUUID *pages, long count, uint32_t ownerTag) {
    if (!pages)
        return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    PLATFORM_ENTER("ISpecifyPropertyPages::GetPages");
    if (count <= 0)
        return S_OK;
    auto *ids = static_cast<GUID *>(CoTaskMemAlloc(sizeof(GUID) * static_cast<size_t>(count)));
    if (!ids)
        return E_OUTOFMEMORY;
    for (long i = 0; i < count; ++i)
        ids[i] = {0x51A0C000u + static_cast<uint32_t>(i),
                  0x7F3E,
                  static_cast<uint16_t>(ownerTag),
                  {0x9A, 0x1E, 0x51, 0x55, 0x4F, 0x52, 0x50, 0x47}};
    pages->cElems = static_cast<ULONG>(count);
    pages->pElems = ids;
    return S_OK;
}

} // namespace platform
