// What a V4L2 capture node offers, as modes (a format, a size and the
// fastest frame interval at that size), and the choice among them for a
// size: the highest frame rate among the formats the platform converts, and
// on a tie the one cheapest to convert.
//
// Real cameras differ from the kernel's test driver here: a USB webcam
// offers uncompressed YUYV at full rate only at small sizes (the bus cannot
// carry more) and MJPEG at full rate at every size, so the format that
// libv4lconvert would rank first is often the slowest one.
#pragma once

#include "dshow/capture_device.h"

#include <linux/videodev2.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// How the platform turns a device format into B, G, R rows, cheapest first.
enum class Conversion {
    Native,        // B, G, R as delivered: a copy
    Yuv,           // uncompressed YUV or grey, through libyuv
    Jpeg,          // MJPEG and JPEG, through TurboJPEG
    Libv4lconvert, // anything else that libv4lconvert knows
    None,          // compressed video (H.264 and the like), metadata: not a picture
};

Conversion conversionOf(uint32_t fourcc);

struct Mode {
    uint32_t fourcc = 0;
    FrameSize size{0, 0};
    // The fastest interval the node lists at this size; {0, 0} when it lists
    // none (a driver without VIDIOC_ENUM_FRAMEINTERVALS).
    v4l2_fract interval{0, 0};

    double fps(double unknown) const {
        return interval.numerator && interval.denominator
                   ? static_cast<double>(interval.denominator) / interval.numerator
                   : unknown;
    }
};

// Every mode of the node whose format the platform converts, in the order
// the driver lists formats and sizes; a stepwise or continuous size range is
// offered at its limits and the common sizes within it.
std::vector<Mode> listModes(int fd);

// The mode to capture size in: the highest frame rate, then the cheapest
// conversion, then the driver's order. Nothing when no format offers size.
std::optional<Mode> chooseMode(const std::vector<Mode> &modes, FrameSize size, double unknownFps);

// The sizes the modes offer, each once, in order, with the rate its chosen
// mode gives.
void describeSizes(const std::vector<Mode> &modes, double unknownFps, std::vector<FrameSize> &sizes,
                   std::vector<double> &rates);

} // namespace platform
