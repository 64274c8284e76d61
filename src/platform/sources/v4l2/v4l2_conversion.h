// One captured V4L2 buffer into the picture every source delivers: B, G, R
// rows bottom-up, each padded with zeros to four bytes, written in one pass
// straight into the destination. B, G, R as delivered is copied; YUV and
// grey go through libyuv with the colour encoding and range the driver
// reports; MJPEG and JPEG through TurboJPEG; anything else through
// libv4lconvert and a copy.
#pragma once

#include "dshow/media_type.h"

#include <linux/videodev2.h>

#include <cstdint>
#include <vector>

struct v4lconvert_data;
struct YuvConstants;

namespace platform {

// The libyuv matrix for a YUV format as the driver describes it, with V4L2's
// defaults where it says "default".
const YuvConstants *yuvMatrixFor(const v4l2_pix_format &pix);

class PictureConversion {
public:
    PictureConversion() = default;
    ~PictureConversion();
    PictureConversion(const PictureConversion &) = delete;
    PictureConversion &operator=(const PictureConversion &) = delete;

    // Converts from device (as VIDIOC_S_FMT set it) into output; converter
    // is libv4lconvert's, for the formats nothing else converts. False when
    // the format cannot be converted.
    bool prepare(const v4l2_format &device, const VideoFormat &output, v4lconvert_data *converter);

    // Writes the picture in data (bytes long, as the driver filled it) into
    // out, output.imageSize() bytes. False, with out's content undefined,
    // when the picture is damaged: too short, or a decoder refused it.
    bool convert(const uint8_t *data, size_t bytes, uint8_t *out);

private:
    bool convertYuv(const uint8_t *data, size_t bytes, uint8_t *out);
    bool convertJpeg(const uint8_t *data, size_t bytes, uint8_t *out);
    bool convertOther(const uint8_t *data, size_t bytes, uint8_t *out);
    void padRows(uint8_t *out) const;

    v4l2_format device_{};
    VideoFormat output_;
    size_t deviceStride_ = 0;
    const YuvConstants *matrix_ = nullptr;
    v4lconvert_data *converter_ = nullptr;
    void *jpeg_ = nullptr;         // TurboJPEG's decompressor, made once per stream
    std::vector<uint8_t> scratch_; // a strip of planes, or libv4lconvert's whole picture
};

} // namespace platform
