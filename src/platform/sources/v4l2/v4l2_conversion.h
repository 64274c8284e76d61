// One captured V4L2 buffer into the picture every source delivers: B, G, R
// rows bottom-up, each padded with zeros to four bytes, written in one pass
// straight into the destination. B, G, R as delivered is copied; YUV and
// grey go through libyuv with the colour encoding and range the driver
// reports; MJPEG and JPEG through TurboJPEG; anything else through
// libv4lconvert and a copy.
#pragma once

#include "dshow/frame.h"
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

// How a camera's picture must be turned to come out upright: libv4lconvert
// knows cameras mounted upside down (its table of USB and DMI ids, or
// LIBV4LCONTROL_FLAGS) and flips what it converts; the other conversions
// apply the same turn, learnt by converting a tiny picture through it.
struct Orientation {
    bool mirrored = false; // left and right swapped
    bool inverted = false; // top and bottom swapped
};
Orientation orientationOf(v4lconvert_data *converter);

// A conversion for one stream format. Those of libyuv and TurboJPEG keep
// no state between calls and run on any thread, so frames can carry them to
// whoever takes the picture; libv4lconvert's works through the open device
// and runs on the delivery thread only (deferred() is false).
class PictureConversion final : public PictureConverter {
public:
    // Converts from device (as VIDIOC_S_FMT set it) into output; converter
    // is libv4lconvert's, for the formats nothing else converts. valid() is
    // false when the format cannot be converted.
    PictureConversion(const v4l2_format &device, const VideoFormat &output, v4lconvert_data *converter,
                      Orientation turn = {});

    bool valid() const { return valid_; }
    // Whether the conversion may wait until a picture is taken.
    bool deferred() const;
    // Whether data (bytes long) can be a whole picture, as far as is told
    // without converting it: its length, and a JPEG's first marker. A
    // deferred picture that passes may still fail to decode when taken.
    bool plausible(const uint8_t *data, size_t bytes) const;

    // Writes the picture in data (bytes long, as the driver filled it) into
    // out, output.imageSize() bytes. False, with out's content undefined,
    // when the picture is damaged: too short, or a decoder refused it.
    bool convert(const uint8_t *data, size_t bytes, uint8_t *out) const override;
    size_t pictureSize() const override { return output_.imageSize(); }

private:
    bool convertYuv(const uint8_t *data, size_t bytes, uint8_t *out) const;
    bool convertJpeg(const uint8_t *data, size_t bytes, uint8_t *out) const;
    bool convertOther(const uint8_t *data, size_t bytes, uint8_t *out) const;
    void padRows(uint8_t *out) const;
    void turn(uint8_t *out) const;

    const v4l2_format device_;
    const VideoFormat output_;
    size_t deviceStride_ = 0;
    const YuvConstants *matrix_ = nullptr;
    v4lconvert_data *const converter_;
    bool valid_ = false;
    const Orientation turn_;
    mutable std::vector<uint8_t> otherPicture_; // libv4lconvert's output, on the delivery thread
};

} // namespace platform
