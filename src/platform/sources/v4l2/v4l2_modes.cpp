#include "sources/v4l2/v4l2_modes.h"

#include "sources/v4l2/v4l2_io.h"

#include <algorithm>

namespace platform {

namespace {

// Sizes at which a stepwise or continuous range is offered: the common ones
// that the range contains, besides its smallest and largest.
const FrameSize commonSizes[] = {{160, 120},  {320, 240},  {640, 360},   {640, 480},   {800, 600},  {1024, 768},
                                 {1280, 720}, {1280, 960}, {1920, 1080}, {2560, 1440}, {3840, 2160}};

constexpr LONG maxDimension = 16384;
// No driver lists more; a broken one that never says EINVAL stops here.
constexpr uint32_t maxEntries = 1024;

bool inRange(const v4l2_frmsize_stepwise &range, FrameSize size) {
    auto fits = [](uint32_t value, uint32_t low, uint32_t high, uint32_t step) {
        return value >= low && value <= high && (step == 0 || (value - low) % step == 0);
    };
    return fits(static_cast<uint32_t>(size.width), range.min_width, range.max_width, range.step_width) &&
           fits(static_cast<uint32_t>(size.height), range.min_height, range.max_height, range.step_height);
}

bool known(const v4l2_fract &interval) { return interval.numerator > 0 && interval.denominator > 0; }

// Whether interval a is shorter than b (a faster rate).
bool shorter(const v4l2_fract &a, const v4l2_fract &b) {
    return static_cast<uint64_t>(a.numerator) * b.denominator < static_cast<uint64_t>(b.numerator) * a.denominator;
}

v4l2_fract fastestInterval(int fd, uint32_t fourcc, FrameSize size) {
    v4l2_frmivalenum entry{};
    entry.pixel_format = fourcc;
    entry.width = static_cast<uint32_t>(size.width);
    entry.height = static_cast<uint32_t>(size.height);
    v4l2_fract best{0, 0};
    for (entry.index = 0; entry.index < maxEntries && xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &entry) == 0;
         ++entry.index) {
        // A stepwise or continuous range is the only entry; its shortest
        // interval is its minimum.
        bool discrete = entry.type == V4L2_FRMIVAL_TYPE_DISCRETE;
        v4l2_fract candidate = discrete ? entry.discrete : entry.stepwise.min;
        if (known(candidate) && (!known(best) || shorter(candidate, best)))
            best = candidate;
        if (!discrete)
            break;
    }
    return best;
}

} // namespace

Conversion conversionOf(uint32_t fourcc) {
    switch (fourcc) {
    case V4L2_PIX_FMT_BGR24:
        return Conversion::Native;
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_NV21:
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_YVU420:
    case V4L2_PIX_FMT_GREY:
        return Conversion::Yuv;
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return Conversion::Jpeg;
    // What libv4lconvert converts besides: packed RGB, another YUV order,
    // raw Bayer from sensors without a processor.
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_RGB565:
    case V4L2_PIX_FMT_YVYU:
    case V4L2_PIX_FMT_SBGGR8:
    case V4L2_PIX_FMT_SGBRG8:
    case V4L2_PIX_FMT_SGRBG8:
    case V4L2_PIX_FMT_SRGGB8:
        return Conversion::Libv4lconvert;
    default:
        return Conversion::None;
    }
}

std::vector<Mode> listModes(int fd) {
    std::vector<Mode> modes;
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; format.index < maxEntries && xioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        if (conversionOf(format.pixelformat) == Conversion::None)
            continue;
        auto add = [&](uint32_t width, uint32_t height) {
            if (width < 1 || height < 1 || width > maxDimension || height > maxDimension)
                return;
            FrameSize size{static_cast<LONG>(width), static_cast<LONG>(height)};
            for (const Mode &mode : modes)
                if (mode.fourcc == format.pixelformat && mode.size == size)
                    return;
            modes.push_back({format.pixelformat, size, fastestInterval(fd, format.pixelformat, size)});
        };
        v4l2_frmsizeenum size{};
        size.pixel_format = format.pixelformat;
        for (size.index = 0; size.index < maxEntries && xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                add(size.discrete.width, size.discrete.height);
                continue;
            }
            const v4l2_frmsize_stepwise &range = size.stepwise;
            add(range.min_width, range.min_height);
            for (FrameSize common : commonSizes)
                if (inRange(range, common))
                    add(static_cast<uint32_t>(common.width), static_cast<uint32_t>(common.height));
            add(range.max_width, range.max_height);
            break; // a range is the only entry
        }
    }
    return modes;
}

std::optional<Mode> chooseMode(const std::vector<Mode> &modes, FrameSize size, double unknownFps) {
    const Mode *best = nullptr;
    for (const Mode &mode : modes) {
        if (!(mode.size == size))
            continue;
        // Rates compared as the driver gives them, so that 30000/1001 and
        // 30/1 stay apart; an unknown one as the rate the node runs at.
        double rate = mode.fps(unknownFps), bestRate = best ? best->fps(unknownFps) : 0;
        if (!best || rate > bestRate || (rate == bestRate && conversionOf(mode.fourcc) < conversionOf(best->fourcc)))
            best = &mode;
    }
    return best ? std::optional<Mode>(*best) : std::nullopt;
}

void describeSizes(const std::vector<Mode> &modes, double unknownFps, std::vector<FrameSize> &sizes,
                   std::vector<double> &rates) {
    sizes.clear();
    rates.clear();
    for (const Mode &mode : modes) {
        if (std::find(sizes.begin(), sizes.end(), mode.size) != sizes.end())
            continue;
        sizes.push_back(mode.size);
        rates.push_back(chooseMode(modes, mode.size, unknownFps)->fps(unknownFps));
    }
}

} // namespace platform
