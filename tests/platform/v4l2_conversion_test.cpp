// Conversions of V4L2 pictures into bottom-up B, G, R rows: the colour range
// the driver reports, JPEG as UVC cameras send it, and damaged pictures.
#include "jpeg_frames.h"

#include "sources/v4l2/v4l2_conversion.h"

#include <gtest/gtest.h>

#include <libyuv/convert_argb.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

using platform::PictureConversion;
using platform::VideoFormat;

namespace {

v4l2_format deviceFormat(uint32_t fourcc, uint32_t width, uint32_t height, uint32_t stride, uint32_t quantization) {
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.pixelformat = fourcc;
    f.fmt.pix.width = width;
    f.fmt.pix.height = height;
    f.fmt.pix.bytesperline = stride;
    f.fmt.pix.colorspace = V4L2_COLORSPACE_SRGB; // as uvcvideo reports a webcam's YUV
    f.fmt.pix.quantization = quantization;
    return f;
}

VideoFormat outputOf(int width, int height) {
    VideoFormat format;
    format.width = width;
    format.height = height;
    return format;
}

// A YUYV picture whose top half has luma top and whose bottom half has luma
// bottom, without colour.
std::vector<uint8_t> yuyvHalves(int width, int height, uint8_t top, uint8_t bottom) {
    std::vector<uint8_t> picture(static_cast<size_t>(width) * 2 * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t *pixel = &picture[(static_cast<size_t>(y) * width + x) * 2];
            pixel[0] = y < height / 2 ? top : bottom;
            pixel[1] = 128;
        }
    return picture;
}

} // namespace

TEST(V4l2Conversion, LimitedRangeYuvReachesFullBlackAndWhiteBottomUp) {
    // A width whose rows need padding: 10 pixels, 30 bytes, 32 a row.
    const int width = 10, height = 4;
    VideoFormat output = outputOf(width, height);
    std::vector<uint8_t> yuyv = yuyvHalves(width, height, 235, 16);
    for (uint32_t quantization : {uint32_t{V4L2_QUANTIZATION_DEFAULT}, uint32_t{V4L2_QUANTIZATION_LIM_RANGE}}) {
        PictureConversion conversion(deviceFormat(V4L2_PIX_FMT_YUYV, width, height, width * 2, quantization), output,
                                     nullptr);
        ASSERT_TRUE(conversion.valid());
        std::vector<uint8_t> out(output.imageSize(), 0xAA);
        ASSERT_TRUE(conversion.convert(yuyv.data(), yuyv.size(), out.data()));
        // Bottom-up: the picture's white top half is the buffer's second half.
        for (int row = 0; row < height; ++row) {
            const uint8_t *line = &out[static_cast<size_t>(row) * output.stride()];
            uint8_t expected = row < height / 2 ? 0 : 255;
            for (int i = 0; i < width * 3; ++i)
                ASSERT_EQ(line[i], expected) << "row " << row << " byte " << i;
            EXPECT_EQ(line[30], 0);
            EXPECT_EQ(line[31], 0); // padding is zeros, not what the memory held
        }
    }
    // Full range as the driver says: 16 stays 16.
    PictureConversion full(deviceFormat(V4L2_PIX_FMT_YUYV, width, height, width * 2, V4L2_QUANTIZATION_FULL_RANGE),
                           output, nullptr);
    std::vector<uint8_t> out(output.imageSize());
    ASSERT_TRUE(full.convert(yuyv.data(), yuyv.size(), out.data()));
    EXPECT_NEAR(out[0], 16, 1);
    EXPECT_NEAR(out[static_cast<size_t>(height - 1) * output.stride()], 235, 1);
}

TEST(V4l2Conversion, JpegDecodesBottomUpAsTheReferenceDecoderTopDown) {
    const int width = 64, height = 48;
    std::vector<uint8_t> picture = naturalPicture(width, height);
    VideoFormat output = outputOf(width, height);
    for (bool huffmanTables : {true, false}) {
        SCOPED_TRACE(huffmanTables ? "with Huffman tables" : "without, as UVC cameras send MJPEG");
        std::vector<uint8_t> jpeg = encodeJpeg(picture, width, height, 80, huffmanTables);
        std::vector<uint8_t> reference = decodeJpeg(encodeJpeg(picture, width, height, 80, true), width, height);
        PictureConversion conversion(deviceFormat(V4L2_PIX_FMT_MJPEG, width, height, 0, 0), output, nullptr);
        std::vector<uint8_t> out(output.imageSize());
        ASSERT_TRUE(conversion.convert(jpeg.data(), jpeg.size(), out.data()));
        for (int row = 0; row < height; ++row)
            ASSERT_EQ(0, std::memcmp(&out[static_cast<size_t>(height - 1 - row) * output.stride()],
                                     &reference[static_cast<size_t>(row) * width * 3], width * 3))
                << "row " << row;
    }
}

TEST(V4l2Conversion, DamagedPicturesAreRefused) {
    const int width = 64, height = 48;
    VideoFormat output = outputOf(width, height);
    std::vector<uint8_t> out(output.imageSize());
    std::vector<uint8_t> jpeg = encodeJpeg(naturalPicture(width, height), width, height, 80, true);
    PictureConversion mjpeg(deviceFormat(V4L2_PIX_FMT_MJPEG, width, height, 0, 0), output, nullptr);
    EXPECT_FALSE(mjpeg.convert(jpeg.data(), jpeg.size() / 2, out.data())) << "a truncated picture";
    EXPECT_FALSE(mjpeg.convert(jpeg.data(), 0, out.data())) << "an empty one";
    std::vector<uint8_t> noise(jpeg.size());
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    EXPECT_FALSE(mjpeg.convert(noise.data(), noise.size(), out.data())) << "no JPEG at all";
    std::vector<uint8_t> other = encodeJpeg(naturalPicture(32, 16), 32, 16, 80, true);
    EXPECT_FALSE(mjpeg.convert(other.data(), other.size(), out.data())) << "a picture of another size";
    EXPECT_TRUE(mjpeg.convert(jpeg.data(), jpeg.size(), out.data()));

    for (uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_YUV420}) {
        SCOPED_TRACE(fourcc);
        uint32_t stride = fourcc == V4L2_PIX_FMT_YUYV ? width * 2 : width;
        PictureConversion yuv(deviceFormat(fourcc, width, height, stride, 0), output, nullptr);
        std::vector<uint8_t> whole(static_cast<size_t>(stride) * height * 2, 128);
        size_t needed = fourcc == V4L2_PIX_FMT_YUYV ? static_cast<size_t>(stride) * height
                                                    : static_cast<size_t>(width) * height * 3 / 2;
        EXPECT_FALSE(yuv.convert(whole.data(), needed - 1, out.data()));
        EXPECT_TRUE(yuv.convert(whole.data(), needed, out.data()));
    }
}

TEST(V4l2Conversion, PackedYuvAgreesWithLibyuvsPlanarConversionInEitherOrderAndRange) {
    // 10 pixels a row (padded rows) and 20 rows: more than one strip.
    const int width = 10, height = 20, chroma = width / 2;
    VideoFormat output = outputOf(width, height);
    std::vector<uint8_t> yuyv(static_cast<size_t>(width) * 2 * height);
    for (size_t i = 0; i < yuyv.size(); ++i)
        yuyv[i] = static_cast<uint8_t>(i * 37 + i / 7);
    std::vector<uint8_t> uyvy(yuyv.size());
    for (size_t i = 0; i < yuyv.size(); i += 2) {
        uyvy[i] = yuyv[i + 1];
        uyvy[i + 1] = yuyv[i];
    }
    std::vector<uint8_t> y(static_cast<size_t>(width) * height), u(y.size() / 2), v(y.size() / 2);
    for (size_t pair = 0; pair < u.size(); ++pair) {
        y[pair * 2] = yuyv[pair * 4];
        u[pair] = yuyv[pair * 4 + 1];
        y[pair * 2 + 1] = yuyv[pair * 4 + 2];
        v[pair] = yuyv[pair * 4 + 3];
    }
    for (uint32_t quantization : {uint32_t{V4L2_QUANTIZATION_LIM_RANGE}, uint32_t{V4L2_QUANTIZATION_FULL_RANGE}}) {
        SCOPED_TRACE(quantization == V4L2_QUANTIZATION_LIM_RANGE ? "limited range" : "full range");
        v4l2_format device = deviceFormat(V4L2_PIX_FMT_YUYV, width, height, width * 2, quantization);
        std::vector<uint8_t> reference(static_cast<size_t>(width) * 3 * height);
        ASSERT_EQ(0, libyuv::I422ToRGB24Matrix(y.data(), width, u.data(), chroma, v.data(), chroma, reference.data(),
                                               width * 3, platform::yuvMatrixFor(device.fmt.pix), width, height));
        for (uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY}) {
            SCOPED_TRACE(fourcc == V4L2_PIX_FMT_YUYV ? "YUYV" : "UYVY");
            device.fmt.pix.pixelformat = fourcc;
            PictureConversion conversion(device, output, nullptr);
            std::vector<uint8_t> out(output.imageSize(), 0xAA);
            const std::vector<uint8_t> &in = fourcc == V4L2_PIX_FMT_YUYV ? yuyv : uyvy;
            ASSERT_TRUE(conversion.convert(in.data(), in.size(), out.data()));
            for (int row = 0; row < height; ++row) {
                const uint8_t *line = &out[static_cast<size_t>(height - 1 - row) * output.stride()];
                ASSERT_EQ(0, std::memcmp(line, &reference[static_cast<size_t>(row) * width * 3], width * 3))
                    << "row " << row;
                EXPECT_EQ(line[30], 0);
                EXPECT_EQ(line[31], 0);
            }
        }
    }
}

namespace {

// size bytes that end where an unreadable page begins, so that a read past
// them faults (libyuv is not built with the sanitizers' checks).
class GuardedBlock {
public:
    explicit GuardedBlock(size_t size) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mapped_ = (size + page - 1) / page * page + page;
        base_ =
            static_cast<uint8_t *>(mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(base_, MAP_FAILED);
        EXPECT_EQ(mprotect(base_ + mapped_ - page, page, PROT_NONE), 0);
        data_ = base_ + mapped_ - page - size;
        std::memset(data_, 128, size);
    }
    ~GuardedBlock() { munmap(base_, mapped_); }
    uint8_t *data() { return data_; }

private:
    uint8_t *base_;
    uint8_t *data_;
    size_t mapped_;
};

size_t halfUp(size_t n) { return (n + 1) / 2; }

// What the kernel lays out for a picture of this format and size with rows
// of no padding (v4l2_fill_pixfmt): the luma stride and the whole size.
std::pair<uint32_t, size_t> kernelLayout(uint32_t fourcc, uint32_t w, uint32_t h) {
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
        return {static_cast<uint32_t>(halfUp(w) * 4), halfUp(w) * 4 * h};
    case V4L2_PIX_FMT_GREY:
        return {w, size_t{w} * h};
    default: // 4:2:0, in two or three planes
        return {w, size_t{w} * h + 2 * halfUp(w) * halfUp(h)};
    }
}

} // namespace

TEST(V4l2Conversion, EveryYuvPictureIsReadWithinTheBytesItNeedsAtOddAndEvenSizes) {
    const uint32_t formats[] = {V4L2_PIX_FMT_YUYV,   V4L2_PIX_FMT_UYVY,   V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_NV21,
                                V4L2_PIX_FMT_YUV420, V4L2_PIX_FMT_YVU420, V4L2_PIX_FMT_GREY};
    const std::pair<uint32_t, uint32_t> sizes[] = {{64, 48}, {64, 47}, {65, 47}, {641, 481}, {3, 3}};
    for (uint32_t fourcc : formats) {
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " " + std::to_string(fourcc));
            auto [stride, kernelBytes] = kernelLayout(fourcc, w, h);
            VideoFormat output = outputOf(static_cast<int>(w), static_cast<int>(h));
            PictureConversion conversion(deviceFormat(fourcc, w, h, stride, V4L2_QUANTIZATION_LIM_RANGE), output,
                                         nullptr);
            ASSERT_TRUE(conversion.valid());
            // The least it takes as whole: no more than the kernel fills.
            GuardedBlock probe(kernelBytes);
            size_t least = kernelBytes;
            while (least > 0 && conversion.plausible(probe.data() + (kernelBytes - least + 1), least - 1))
                --least;
            EXPECT_LE(least, kernelBytes);
            ASSERT_TRUE(conversion.plausible(probe.data(), kernelBytes));
            // A picture of exactly that many bytes, against the guard page:
            // a read past it faults. Grey in, grey out.
            GuardedBlock picture(least);
            std::vector<uint8_t> out(output.imageSize());
            ASSERT_TRUE(conversion.convert(picture.data(), least, out.data()));
            EXPECT_NEAR(out[0], 130, 3);
        }
    }
}
