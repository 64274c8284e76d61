#include "dshow/media_type.h"

#include <cstring>

namespace platform {

namespace {

template <class Header>
void fillHeader(Header &header, const VideoFormat &format) {
    header.rcSource = {0, 0, format.width, format.height};
    header.rcTarget = header.rcSource;
    header.AvgTimePerFrame = static_cast<REFERENCE_TIME>(10000000.0 / format.fps);
    header.dwBitRate = static_cast<DWORD>(format.imageSize() * 8 * format.fps);
    BITMAPINFOHEADER &bmi = header.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = format.width;
    bmi.biHeight = format.height;
    bmi.biPlanes = 1;
    bmi.biBitCount = 24;
    bmi.biCompression = BI_RGB;
    bmi.biSizeImage = static_cast<DWORD>(format.imageSize());
}

} // namespace

HRESULT fillMediaType(AM_MEDIA_TYPE &type, const VideoFormat &format) {
    std::memset(&type, 0, sizeof type);
    bool second = format.block == FormatBlock::VideoInfo2;
    ULONG size = second ? sizeof(VIDEOINFOHEADER2) : sizeof(VIDEOINFOHEADER);
    auto *block = static_cast<BYTE *>(CoTaskMemAlloc(size));
    if (!block)
        return E_OUTOFMEMORY;
    std::memset(block, 0, size);
    if (second)
        fillHeader(*reinterpret_cast<VIDEOINFOHEADER2 *>(block), format);
    else
        fillHeader(*reinterpret_cast<VIDEOINFOHEADER *>(block), format);
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = static_cast<ULONG>(format.imageSize());
    type.formattype = second ? FORMAT_VideoInfo2 : FORMAT_VideoInfo;
    type.cbFormat = size;
    type.pbFormat = block;
    return S_OK;
}

AM_MEDIA_TYPE *newMediaType(const VideoFormat &format) {
    auto *type = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type && FAILED(fillMediaType(*type, format))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

bool readFrameSize(const AM_MEDIA_TYPE &type, LONG &width, LONG &height) {
    const BITMAPINFOHEADER *bmi = nullptr;
    if (IsEqualGUID(type.formattype, FORMAT_VideoInfo) && type.cbFormat >= sizeof(VIDEOINFOHEADER) && type.pbFormat)
        bmi = &reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat)->bmiHeader;
    else if (IsEqualGUID(type.formattype, FORMAT_VideoInfo2) && type.cbFormat >= sizeof(VIDEOINFOHEADER2) &&
             type.pbFormat)
        bmi = &reinterpret_cast<const VIDEOINFOHEADER2 *>(type.pbFormat)->bmiHeader;
    if (!bmi)
        return false;
    width = bmi->biWidth;
    height = bmi->biHeight;
    return true;
}

} // namespace platform
