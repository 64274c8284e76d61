// The virtual cameras' picture: colour bars above a counter strip.
#include "platform_test.h"

#include "sources/virtual/frame_generator.h"

#include <vector>

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb pixelAt(const platform::PictureBytes &bytes, const platform::VideoFormat &f, LONG x, LONG y) {
    size_t offset = static_cast<size_t>(f.height - 1 - y) * f.stride() + 3 * static_cast<size_t>(x);
    return {bytes[offset + 2], bytes[offset + 1], bytes[offset]};
}

platform::VideoFormat formatOf(LONG width, LONG height) {
    platform::VideoFormat format;
    format.width = width;
    format.height = height;
    return format;
}

// Colour bars for format with picture settings, which must outlive them.
std::unique_ptr<platform::FrameGenerator> barsFor(const platform::VideoFormat &format,
                                                  const platform::PictureSettings &picture) {
    auto bars = platform::createColourBars(picture);
    bars->setFormat(format);
    return bars;
}

} // namespace

TEST(ColourBars, BarsAboveACounterStripInBottomUpBgr) {
    const platform::VideoFormat format = formatOf(174, 97);
    platform::PictureSettings picture;
    auto bars = barsFor(format, picture);
    platform::Frame frame;
    bars->render(frame, 0x80000001u);
    ASSERT_EQ(frame.bytes.size(), 524u * 97); // 174 * 3 = 522 bytes, padded to 524
    const Rgb yellow{255, 255, 0}, black{0, 0, 0}, white{255, 255, 255};
    // Bar 1 covers 21 <= x < 43; the strip starts at row 97 - 12 = 85.
    EXPECT_EQ(pixelAt(frame.bytes, format, 21, 0), yellow);
    EXPECT_EQ(pixelAt(frame.bytes, format, 42, 84), yellow);
    EXPECT_EQ(pixelAt(frame.bytes, format, 173, 40), black);
    // Cell 0 is bit 31, cell 31 bit 0; the cells between are clear.
    EXPECT_EQ(pixelAt(frame.bytes, format, 0, 85), white);
    EXPECT_EQ(pixelAt(frame.bytes, format, 173, 96), white);
    EXPECT_EQ(pixelAt(frame.bytes, format, 87, 90), black);

    // A frame rendered before keeps its bars; only the strip changes.
    bars->render(frame, 0);
    EXPECT_EQ(pixelAt(frame.bytes, format, 0, 96), black);
    EXPECT_EQ(pixelAt(frame.bytes, format, 21, 0), yellow);
    // Padding bytes at each row's end stay zero.
    for (LONG row = 0; row < format.height; ++row)
        EXPECT_EQ(frame.bytes[row * format.stride() + 522] | frame.bytes[row * format.stride() + 523], 0);
}

TEST(ColourBars, BrightnessScalesAndOffsetsTheBarsOfTheNextFrameButNotTheStrip) {
    const platform::VideoFormat format = formatOf(64, 16);
    platform::PictureSettings picture;
    auto bars = barsFor(format, picture);
    platform::Frame frame;
    bars->render(frame, 1);
    EXPECT_EQ(pixelAt(frame.bytes, format, 8, 0), (Rgb{255, 255, 0}));

    // The same frame, rendered again after a change, is redrawn whole.
    picture.scale = 128;
    bars->render(frame, 1);
    EXPECT_EQ(pixelAt(frame.bytes, format, 8, 0), (Rgb{128, 128, 0}));
    EXPECT_EQ(pixelAt(frame.bytes, format, 63, 15), (Rgb{255, 255, 255})); // the counter's bit 0
    // An offset moves every channel, each kept within 0 to 255.
    picture.offset = 200;
    bars->render(frame, 1);
    EXPECT_EQ(pixelAt(frame.bytes, format, 8, 0), (Rgb{255, 255, 200}));
    picture.offset = -100;
    bars->render(frame, 1);
    EXPECT_EQ(pixelAt(frame.bytes, format, 8, 0), (Rgb{28, 28, 0}));
    picture.scale = 0;
    picture.offset = 0;
    bars->render(frame, 1);
    EXPECT_EQ(pixelAt(frame.bytes, format, 0, 0), (Rgb{0, 0, 0}));
}
