#include "graph/media_type.h"

void freeMediaTypeContents(AM_MEDIA_TYPE *type) {
    if (type->cbFormat != 0) {
        CoTaskMemFree(type->pbFormat);
        type->cbFormat = 0;
        type->pbFormat = nullptr;
    }
    if (type->pUnk) {
        type->pUnk->Release();
        type->pUnk = nullptr;
    }
}

void discardMediaType(AM_MEDIA_TYPE *type) {
    if (!type)
        return;
    freeMediaTypeContents(type);
    CoTaskMemFree(type);
}

VIDEOINFOHEADER *videoInfoHeader(const AM_MEDIA_TYPE *type) {
    if (!IsEqualGUID(type->formattype, FORMAT_VideoInfo) || type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat)
        return nullptr;
    return reinterpret_cast<VIDEOINFOHEADER *>(type->pbFormat);
}
