#include "uvc_pictures.h"

#include <libyuv.h>

#include <cstdio>
#include <jpeglib.h>

#include <stdexcept>

namespace uvc {

namespace {

// B, G, R of the bars, left to right.
const uint8_t bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                            {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};

// The JPEG without its DHT segments: the standard tables then apply.
std::vector<uint8_t> withoutHuffmanTables(const uint8_t *jpeg, size_t size) {
    std::vector<uint8_t> out(jpeg, jpeg + 2); // SOI
    size_t at = 2;
    while (at + 4 <= size && jpeg[at] == 0xFF) {
        uint8_t marker = jpeg[at + 1];
        if (marker == 0xDA) // start of scan: the rest is data
            break;
        size_t length = static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (marker != 0xC4)
            out.insert(out.end(), jpeg + at, jpeg + at + 2 + length);
        at += 2 + length;
    }
    out.insert(out.end(), jpeg + at, jpeg + size);
    return out;
}

// A JPEG of rows of B, G, R: 4:2:2 like most webcams' MJPEG, quality 85,
// the standard Huffman tables, and a restart marker after every row of
// MCUs (8 rows of pixels), so that rows can be replaced without coding the
// others again.
std::vector<uint8_t> compress(const uint8_t *bgr, int width, int height) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    errors.error_exit = [](j_common_ptr) { throw std::runtime_error("JPEG compression failed"); };
    jpeg_create_compress(&info);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = 1;
    info.restart_in_rows = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t *>(bgr) + static_cast<size_t>(info.next_scanline) * width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> jpeg(out, out + size);
    std::free(out);
    return jpeg;
}

// Where the entropy-coded data of a JPEG begins: after its SOS segment.
size_t scanStart(const std::vector<uint8_t> &jpeg) {
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        size_t length = static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (jpeg[at + 1] == 0xDA)
            return at + 2 + length;
        at += 2 + length;
    }
    throw std::runtime_error("no scan in the JPEG");
}

bool isRestart(const std::vector<uint8_t> &jpeg, size_t at) {
    return jpeg[at] == 0xFF && jpeg[at + 1] >= 0xD0 && jpeg[at + 1] <= 0xD7;
}

} // namespace

int stripRows(int height) { return height < 64 ? height / 2 : 16 + height % 8; }

Pictures::Pictures(FormatKind kind, int width, int height, bool huffmanTables)
    : kind_(kind), width_(width), height_(height) {
    bgr_.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                bgr_[(static_cast<size_t>(y) * width + x) * 3 + c] = bars[x * 8 / width][c];
    if (kind == FormatKind::Uncompressed) {
        std::vector<uint8_t> argb(static_cast<size_t>(width) * height * 4);
        libyuv::RGB24ToARGB(bgr_.data(), width * 3, argb.data(), width * 4, width, height);
        out_.resize(static_cast<size_t>(width) * height * 2);
        libyuv::ARGBToYUY2(argb.data(), width * 4, out_.data(), width * 2, width, height);
    } else if (kind == FormatKind::Mjpeg) {
        // The bars once, up to the restart marker that ends the last row of
        // MCUs above the strip; each frame codes only the strip.
        std::vector<uint8_t> whole = compress(bgr_.data(), width, height);
        if (!huffmanTables)
            whole = withoutHuffmanTables(whole.data(), whole.size());
        int barRows = (height - stripRows(height)) / 8;
        size_t at = scanStart(whole);
        for (int found = 0; found < barRows && at + 1 < whole.size(); ++at)
            if (isRestart(whole, at))
                found += 1;
        barsJpeg_.assign(whole.begin(), whole.begin() + static_cast<long>(barRows ? at + 1 : scanStart(whole)));
        firstStripRestart_ = barRows % 8;
    } else {
        out_.assign(static_cast<size_t>(width) * height, 0); // H.264 is never asked for here
    }
}

Pictures::~Pictures() = default;

void Pictures::paintStrip(uint32_t counter) {
    int top = height_ - stripRows(height_);
    for (int k = 0; k < 32; ++k) {
        bool one = (counter >> (31 - k)) & 1;
        int from = k * width_ / 32, to = (k + 1) * width_ / 32;
        for (int y = top; y < height_; ++y) {
            if (kind_ == FormatKind::Uncompressed) {
                uint8_t *row = out_.data() + static_cast<size_t>(y) * width_ * 2;
                for (int x = from; x < to; ++x) {
                    row[2 * x] = one ? 235 : 16; // limited-range white and black
                    row[2 * x + 1] = 128;
                }
            } else {
                uint8_t *row = bgr_.data() + static_cast<size_t>(y) * width_ * 3;
                std::fill(row + 3 * from, row + 3 * to, one ? 255 : 0);
            }
        }
    }
}

const std::vector<uint8_t> &Pictures::render(uint32_t counter) {
    if (kind_ == FormatKind::FrameBased)
        return out_;
    paintStrip(counter);
    if (kind_ == FormatKind::Mjpeg) {
        int rows = stripRows(height_);
        const uint8_t *strip = bgr_.data() + static_cast<size_t>(height_ - rows) * width_ * 3;
        std::vector<uint8_t> coded = compress(strip, width_, rows);
        // The strip's rows follow the bars' with their restart markers
        // numbered on from them, then the end of the image.
        out_ = barsJpeg_;
        size_t at = scanStart(coded);
        for (; at + 2 < coded.size(); ++at) {
            uint8_t byte = coded[at];
            if (isRestart(coded, at)) {
                out_.push_back(0xFF);
                byte = static_cast<uint8_t>(0xD0 + (coded[at + 1] - 0xD0 + firstStripRestart_) % 8);
                ++at;
            }
            out_.push_back(byte);
        }
        out_.push_back(0xFF);
        out_.push_back(0xD9);
    }
    return out_;
}

} // namespace uvc
