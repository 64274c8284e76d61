#include "sources/virtual/frame_generator.h"

#include <cstring>

namespace platform {

namespace {

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb barColours[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                               {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

// A bar's colour scaled (at the maximum the colour itself), then offset.
Rgb adjusted(Rgb colour, int scale, int offset) {
    auto channel = [scale, offset](uint8_t c) {
        int value = (c * scale + maximumBrightness / 2) / maximumBrightness + offset;
        return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    };
    return {channel(colour.r), channel(colour.g), channel(colour.b)};
}

void fillSpan(uint8_t *row, size_t x0, size_t x1, Rgb colour) {
    for (size_t x = x0; x < x1; ++x) {
        row[3 * x] = colour.b;
        row[3 * x + 1] = colour.g;
        row[3 * x + 2] = colour.r;
    }
}

class ColourBars final : public FrameGenerator {
public:
    explicit ColourBars(const PictureSettings &picture) : picture_(picture) {}

    void setFormat(const VideoFormat &format) override {
        format_ = format;
        drawTemplate();
    }

    void render(Frame &frame, uint64_t sequence) override {
        // The settings may change between samples (from a property dialog
        // or a script): the bars are drawn again, the frames made anew.
        if (picture_.scale.load(std::memory_order_relaxed) != drawnScale_ ||
            picture_.offset.load(std::memory_order_relaxed) != drawnOffset_)
            drawTemplate();
        if (frame.formatGeneration != generation_ || frame.bytes.size() != template_.size()) {
            frame.bytes = template_;
            frame.formatGeneration = generation_;
        }
        if (stripRows_ == 0)
            return;
        size_t width = static_cast<size_t>(format_.width), stride = format_.stride();
        uint8_t *first = frame.bytes.data();
        for (size_t k = 0; k < 32; ++k) {
            bool set = (sequence >> (31 - k)) & 1u;
            Rgb colour = set ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
            fillSpan(first, k * width / 32, (k + 1) * width / 32, colour);
        }
        for (size_t r = 1; r < stripRows_; ++r)
            std::memcpy(first + r * stride, first, stride);
    }

private:
    void drawTemplate() {
        const VideoFormat &format = format_;
        ++generation_;
        drawnScale_ = picture_.scale.load(std::memory_order_relaxed);
        drawnOffset_ = picture_.offset.load(std::memory_order_relaxed);
        // Rows are stored bottom-up: memory row r shows picture row height-1-r,
        // so the strip (the picture's lowest eighth) comes first in memory.
        size_t width = static_cast<size_t>(format.width), height = static_cast<size_t>(format.height);
        stripRows_ = height / 8;
        template_.assign(format.imageSize(), 0);
        if (height == 0)
            return;
        uint8_t *barRow = template_.data() + stripRows_ * format.stride();
        for (size_t i = 0; i < 8; ++i)
            fillSpan(barRow, i * width / 8, (i + 1) * width / 8, adjusted(barColours[i], drawnScale_, drawnOffset_));
        for (size_t r = stripRows_ + 1; r < height; ++r)
            std::memcpy(template_.data() + r * format.stride(), barRow, format.stride());
    }

    const PictureSettings &picture_;
    int drawnScale_ = maximumBrightness, drawnOffset_ = 0;
    VideoFormat format_;
    uint64_t generation_ = 0;
    size_t stripRows_ = 0;
    PictureBytes template_;
};

} // namespace

std::unique_ptr<FrameGenerator> createColourBars(const PictureSettings &picture) {
    return std::make_unique<ColourBars>(picture);
}

} // namespace platform
