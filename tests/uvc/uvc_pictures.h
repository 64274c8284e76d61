// The pictures the emulated camera sends: eight colour bars (white, yellow,
// cyan, green, magenta, red, blue, black) over a strip of 32 cells that spell
// the frame's counter, most significant bit on the left, white for 1. YUYV
// is limited-range BT.601, as uvcvideo reports for a webcam; MJPEG is a
// full-range JFIF picture, with or without its Huffman tables (many webcams
// leave them out and rely on the standard ones).
#pragma once

#include "uvc_profile.h"

#include <cstdint>
#include <vector>

namespace uvc {

// Rows of the counter strip at the bottom of a picture of that height.
int stripRows(int height);

class Pictures {
public:
    Pictures(FormatKind kind, int width, int height, bool huffmanTables);
    ~Pictures();
    Pictures(const Pictures &) = delete;
    Pictures &operator=(const Pictures &) = delete;

    // The picture of frame counter, in the format's bytes; valid until the
    // next call.
    const std::vector<uint8_t> &render(uint32_t counter);

private:
    void paintStrip(uint32_t counter);

    FormatKind kind_;
    int width_, height_;
    std::vector<uint8_t> bgr_;      // the picture before conversion
    std::vector<uint8_t> out_;      // the format's bytes
    std::vector<uint8_t> barsJpeg_; // MJPEG: the headers and the bars' rows of MCUs
    int firstStripRestart_ = 0;     // the number of the strip's first restart marker
};

} // namespace uvc
