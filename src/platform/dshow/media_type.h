// Media types as this platform's filters deliver them: 24-bit RGB video,
// bottom-up rows padded to four bytes, described by a VIDEOINFOHEADER (or a
// VIDEOINFOHEADER2 for cameras that report one).
#pragma once

#include <quorin_platform/dshow.h>

namespace platform {

enum class FormatBlock { VideoInfo, VideoInfo2 };

struct VideoFormat {
    LONG width = 0;
    LONG height = 0;
    double fps = 30.0;
    FormatBlock block = FormatBlock::VideoInfo;

    size_t stride() const { return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3); }
    size_t imageSize() const { return stride() * static_cast<size_t>(height); }
};

// Fills type (whose format block, if any, the caller has already freed) with
// a new format block in task memory. Returns E_OUTOFMEMORY when that fails.
HRESULT fillMediaType(AM_MEDIA_TYPE &type, const VideoFormat &format);
// The same in a new task-memory record, or null.
AM_MEDIA_TYPE *newMediaType(const VideoFormat &format);
// Reads width and height from a VIDEOINFOHEADER or VIDEOINFOHEADER2 record;
// false when the record carries neither or its block is too short.
bool readFrameSize(const AM_MEDIA_TYPE &type, LONG &width, LONG &height);

} // namespace platform
