#include "sources/v4l2/v4l2_conversion.h"

#include "dshow/frame_source.h"
#include "com/instrumentation.h"
#include "sources/v4l2/v4l2_modes.h"

#include <libv4lconvert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

// Rows converted at a time where a format goes through planes first: a strip
// that stays in the cache between the two passes.
constexpr int stripRows = 16;

size_t halfUp(size_t n) { return (n + 1) / 2; }

// The bytes of one row of the format's first plane, without padding.
size_t rowBytesOf(uint32_t fourcc, size_t width) {
    switch (fourcc) {
    case V4L2_PIX_FMT_BGR24:
        return width * 3;
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
        return halfUp(width) * 4;
    default:
        return width;
    }
}

// The row stride of the chroma planes of a 4:2:0 picture in one buffer
// (YU12, YV12): half the luma's, rounded up as the kernel lays out an odd
// width's rows (v4l2_fill_pixfmt).
size_t planarChromaStride(size_t stride) { return halfUp(stride); }

// The bytes a whole picture needs at stride: where the last row ends.
size_t wholeBytes(uint32_t fourcc, size_t stride, size_t width, size_t height) {
    size_t luma = stride * (height - 1) + rowBytesOf(fourcc, width);
    switch (fourcc) {
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_NV21:
        return stride * height + stride * (halfUp(height) - 1) + halfUp(width) * 2;
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_YVU420: {
        // Two planes of half-up rows, the last row as wide as the picture's
        // half-up width, which libyuv reads whole.
        const size_t chromaStride = planarChromaStride(stride), chromaRows = halfUp(height);
        return stride * height + chromaStride * chromaRows + chromaStride * (chromaRows - 1) + halfUp(width);
    }
    default:
        return luma;
    }
}

// TurboJPEG's decompressor of the calling thread, made at its first JPEG
// and destroyed with the thread: a handle serves one thread at a time.
tjhandle decompressor() {
    thread_local struct Handle {
        tjhandle handle = tjInitDecompress();
        ~Handle() {
            if (handle)
                tjDestroy(handle);
        }
    } own;
    return own.handle;
}

} // namespace

const YuvConstants *yuvMatrixFor(const v4l2_pix_format &pix) {
    // V4L2's defaults: a default colorspace is SMPTE 170M (BT.601) at
    // standard definition and Rec. 709 above it; a default encoding follows
    // the colorspace (V4L2_MAP_YCBCR_ENC_DEFAULT); a default range is full
    // for JPEG's colorspace and limited for every other YUV. uvcvideo
    // reports sRGB with default encoding and range: limited-range BT.601.
    uint32_t colorspace = pix.colorspace;
    if (colorspace == V4L2_COLORSPACE_DEFAULT)
        colorspace = pix.width >= 1280 || pix.height > 576 ? V4L2_COLORSPACE_REC709 : V4L2_COLORSPACE_SMPTE170M;
    uint32_t encoding = pix.ycbcr_enc;
    if (encoding == V4L2_YCBCR_ENC_DEFAULT)
        encoding = V4L2_MAP_YCBCR_ENC_DEFAULT(colorspace);
    uint32_t range = pix.quantization;
    if (range == V4L2_QUANTIZATION_DEFAULT)
        range = V4L2_MAP_QUANTIZATION_DEFAULT(false, colorspace, encoding);
    bool full = range == V4L2_QUANTIZATION_FULL_RANGE;
    switch (encoding) {
    case V4L2_YCBCR_ENC_709:
    case V4L2_YCBCR_ENC_XV709:
    case V4L2_YCBCR_ENC_SMPTE240M: // nearest: libyuv has no SMPTE 240M matrix
        return full ? &libyuv::kYuvF709Constants : &libyuv::kYuvH709Constants;
    case V4L2_YCBCR_ENC_BT2020:
    case V4L2_YCBCR_ENC_BT2020_CONST_LUM:
        return full ? &libyuv::kYuvV2020Constants : &libyuv::kYuv2020Constants;
    default: // BT.601 and xvYCC 601
        return full ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants;
    }
}

Orientation orientationOf(v4lconvert_data *converter) {
    // A YUYV picture of 4x2 pixels, white only at its top left.
    constexpr int width = 4, height = 2;
    uint8_t yuyv[width * 2 * height];
    for (int i = 0; i < width * 2 * height; ++i)
        yuyv[i] = i % 2 ? 128 : 16;
    yuyv[0] = 235;
    v4l2_format from{};
    from.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    from.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    from.fmt.pix.width = width;
    from.fmt.pix.height = height;
    from.fmt.pix.bytesperline = width * 2;
    from.fmt.pix.sizeimage = sizeof yuyv;
    v4l2_format to = from;
    to.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    to.fmt.pix.bytesperline = width * 3;
    to.fmt.pix.sizeimage = width * 3 * height;
    uint8_t bgr[width * 3 * height] = {};
    Orientation turn;
    if (!converter || v4lconvert_convert(converter, &from, &to, yuyv, sizeof yuyv, bgr, sizeof bgr) < 0)
        return turn;
    // Where the white pixel went.
    int brightest = 0;
    for (int pixel = 1; pixel < width * height; ++pixel)
        if (bgr[pixel * 3 + 1] > bgr[brightest * 3 + 1])
            brightest = pixel;
    turn.mirrored = brightest % width == width - 1;
    turn.inverted = brightest / width == height - 1;
    return turn;
}

PictureConversion::PictureConversion(const v4l2_format &device, const VideoFormat &output, v4lconvert_data *converter,
                                     Orientation turn)
    : device_(device), output_(output), converter_(converter), turn_(turn) {
    const v4l2_pix_format &pix = device.fmt.pix;
    // Some drivers leave the stride unset.
    deviceStride_ = std::max<size_t>(pix.bytesperline, rowBytesOf(pix.pixelformat, pix.width));
    matrix_ = yuvMatrixFor(pix);
    Conversion kind = conversionOf(pix.pixelformat);
    valid_ = kind != Conversion::None && (kind != Conversion::Libv4lconvert || converter_) &&
             pix.width == static_cast<uint32_t>(output.width) && pix.height == static_cast<uint32_t>(output.height);
    if (valid_ && kind == Conversion::Libv4lconvert)
        otherPicture_.resize(static_cast<size_t>(output.width) * 3 * static_cast<size_t>(output.height));
}

bool PictureConversion::deferred() const {
    return conversionOf(device_.fmt.pix.pixelformat) != Conversion::Libv4lconvert;
}

bool PictureConversion::plausible(const uint8_t *data, size_t bytes) const {
    const uint32_t fourcc = device_.fmt.pix.pixelformat;
    switch (conversionOf(fourcc)) {
    case Conversion::Native:
    case Conversion::Yuv:
        return bytes >= wholeBytes(fourcc, deviceStride_, static_cast<size_t>(output_.width),
                                   static_cast<size_t>(output_.height));
    case Conversion::Jpeg:
        return bytes >= 4 && data[0] == 0xFF && data[1] == 0xD8;
    case Conversion::Libv4lconvert:
        return true;
    case Conversion::None:
        break;
    }
    return false;
}

bool PictureConversion::convert(const uint8_t *data, size_t bytes, uint8_t *out) const {
    if (!valid_)
        return false;
    ++picturesConverted;
    bool converted = false;
    switch (conversionOf(device_.fmt.pix.pixelformat)) {
    case Conversion::Native:
        converted = plausible(data, bytes);
        if (converted) {
            copyRowsBottomUp(data, deviceStride_, output_, out);
            turn(out);
        }
        return converted;
    case Conversion::Yuv:
        converted = convertYuv(data, bytes, out);
        break;
    case Conversion::Jpeg:
        converted = convertJpeg(data, bytes, out);
        break;
    case Conversion::Libv4lconvert:
        return convertOther(data, bytes, out);
    case Conversion::None:
        return false;
    }
    if (converted) {
        padRows(out);
        turn(out);
    }
    return converted;
}

bool PictureConversion::convertYuv(const uint8_t *data, size_t bytes, uint8_t *out) const {
    const uint32_t fourcc = device_.fmt.pix.pixelformat;
    const int width = output_.width, height = output_.height;
    const size_t stride = deviceStride_;
    if (!plausible(data, bytes))
        return false;
    // Bottom-up: the destination's last row first, walked with a negative
    // stride, so that every converter writes the rows in their final place.
    const int outStride = static_cast<int>(output_.stride());
    uint8_t *bottom = out + static_cast<size_t>(height - 1) * output_.stride();
    const int inStride = static_cast<int>(stride);
    switch (fourcc) {
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_NV21: {
        const uint8_t *chroma = data + stride * static_cast<size_t>(height);
        auto convert = fourcc == V4L2_PIX_FMT_NV12 ? libyuv::NV12ToRGB24Matrix : libyuv::NV21ToRGB24Matrix;
        return convert(data, inStride, chroma, inStride, bottom, -outStride, matrix_, width, height) == 0;
    }
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_YVU420: {
        const size_t chromaStride = planarChromaStride(stride);
        const size_t chromaSize = chromaStride * halfUp(static_cast<size_t>(height));
        const uint8_t *first = data + stride * static_cast<size_t>(height), *second = first + chromaSize;
        const uint8_t *u = fourcc == V4L2_PIX_FMT_YUV420 ? first : second;
        const uint8_t *v = fourcc == V4L2_PIX_FMT_YUV420 ? second : first;
        const int cs = static_cast<int>(chromaStride);
        return libyuv::I420ToRGB24Matrix(data, inStride, u, cs, v, cs, bottom, -outStride, matrix_, width, height) == 0;
    }
    default:
        break;
    }
    // Packed 4:2:2 and grey: a strip at a time through planes or ARGB, in
    // memory of this call's own, since any thread may convert. libyuv reads
    // packed 4:2:2 straight into ARGB only with limited-range BT.601 (what
    // uvcvideo reports), about a third cheaper than splitting it into planes.
    const bool direct422 =
        matrix_ == &libyuv::kYuvI601Constants && (fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_UYVY);
    const size_t w = static_cast<size_t>(width), chromaWidth = halfUp(w);
    std::vector<uint8_t> strip(fourcc == V4L2_PIX_FMT_GREY || direct422 ? w * 4 * stripRows
                                                                        : (w + 2 * chromaWidth) * stripRows);
    uint8_t *y = strip.data(), *u = y + w * stripRows, *v = u + chromaWidth * stripRows;
    const int cw = static_cast<int>(chromaWidth);
    for (int top = 0; top < height; top += stripRows) {
        const int rows = std::min(stripRows, height - top);
        const uint8_t *in = data + stride * static_cast<size_t>(top);
        uint8_t *to = bottom - static_cast<ptrdiff_t>(top) * outStride;
        int failed = 0;
        uint8_t *argb = strip.data();
        if (fourcc == V4L2_PIX_FMT_GREY) {
            failed = libyuv::I400ToARGBMatrix(in, inStride, argb, width * 4, matrix_, width, rows) ||
                     libyuv::ARGBToRGB24(argb, width * 4, to, -outStride, width, rows);
        } else if (direct422) {
            auto toArgb = fourcc == V4L2_PIX_FMT_YUYV ? libyuv::YUY2ToARGB : libyuv::UYVYToARGB;
            failed = toArgb(in, inStride, argb, width * 4, width, rows) ||
                     libyuv::ARGBToRGB24(argb, width * 4, to, -outStride, width, rows);
        } else {
            auto split = fourcc == V4L2_PIX_FMT_YUYV ? libyuv::YUY2ToI422 : libyuv::UYVYToI422;
            failed = split(in, inStride, y, width, u, cw, v, cw, width, rows) ||
                     libyuv::I422ToRGB24Matrix(y, width, u, cw, v, cw, to, -outStride, matrix_, width, rows);
        }
        if (failed)
            return false;
    }
    return true;
}

bool PictureConversion::convertJpeg(const uint8_t *data, size_t bytes, uint8_t *out) const {
    // A frame that is no whole picture of this size is damaged: decoder
    // warnings (a truncated stream, which the decoder would fill with grey)
    // count as errors.
    tjhandle jpeg = decompressor();
    int width = 0, height = 0, subsampling = 0, colours = 0;
    if (!jpeg || bytes < 4 || bytes > static_cast<size_t>(~0ul >> 1) ||
        tjDecompressHeader3(jpeg, data, static_cast<unsigned long>(bytes), &width, &height, &subsampling, &colours) !=
            0 ||
        width != output_.width || height != output_.height)
        return false;
    return tjDecompress2(jpeg, data, static_cast<unsigned long>(bytes), out, width, static_cast<int>(output_.stride()),
                         height, TJPF_BGR, TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) == 0;
}

bool PictureConversion::convertOther(const uint8_t *data, size_t bytes, uint8_t *out) const {
    v4l2_format wanted = device_;
    v4l2_pix_format &pix = wanted.fmt.pix;
    pix.pixelformat = V4L2_PIX_FMT_BGR24;
    pix.width = static_cast<uint32_t>(output_.width);
    pix.height = static_cast<uint32_t>(output_.height);
    pix.bytesperline = pix.width * 3;
    pix.sizeimage = static_cast<uint32_t>(otherPicture_.size());
    // libv4lconvert flips cameras it knows to be mounted upside down; its
    // output is top-down, copied into bottom-up rows.
    int converted = v4lconvert_convert(converter_, &device_, &wanted, const_cast<uint8_t *>(data),
                                       static_cast<int>(std::min<size_t>(bytes, 0x7FFFFFFF)), otherPicture_.data(),
                                       static_cast<int>(otherPicture_.size()));
    if (converted < 0 || static_cast<size_t>(converted) < otherPicture_.size())
        return false;
    copyRowsBottomUp(otherPicture_.data(), pix.bytesperline, output_, out);
    return true;
}

// Turns a converted picture as libv4lconvert turns the same camera's: an
// extra pass, for cameras mounted upside down only.
void PictureConversion::turn(uint8_t *out) const {
    const size_t stride = output_.stride(), width = static_cast<size_t>(output_.width);
    const size_t height = static_cast<size_t>(output_.height);
    if (turn_.inverted) {
        std::vector<uint8_t> row(stride);
        for (size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            std::memcpy(row.data(), out + top * stride, stride);
            std::memcpy(out + top * stride, out + bottom * stride, stride);
            std::memcpy(out + bottom * stride, row.data(), stride);
        }
    }
    if (turn_.mirrored) {
        for (size_t y = 0; y < height; ++y) {
            uint8_t *row = out + y * stride;
            for (size_t left = 0, right = width - 1; left < right; ++left, --right)
                std::swap_ranges(row + left * 3, row + left * 3 + 3, row + right * 3);
        }
    }
}

void PictureConversion::padRows(uint8_t *out) const {
    size_t rowBytes = static_cast<size_t>(output_.width) * 3, stride = output_.stride();
    if (rowBytes == stride)
        return;
    for (size_t row = 0; row < static_cast<size_t>(output_.height); ++row)
        std::memset(out + row * stride + rowBytes, 0, stride - rowBytes);
}

} // namespace platform
