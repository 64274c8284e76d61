// libFuzzer: a V4L2 picture as a driver may hand it over, in a format, size,
// stride and colour encoding the fuzzer chooses, checked and, when it passes
// the check, converted. The picture lies against an unreadable page, so a
// read past it faults even inside libyuv and TurboJPEG, which the
// sanitizers do not instrument.
#include "sources/v4l2/v4l2_conversion.h"

#include <linux/videodev2.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const uint32_t formats[] = {V4L2_PIX_FMT_YUYV,   V4L2_PIX_FMT_UYVY,   V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_NV21,
                            V4L2_PIX_FMT_YUV420, V4L2_PIX_FMT_YVU420, V4L2_PIX_FMT_GREY, V4L2_PIX_FMT_MJPEG,
                            V4L2_PIX_FMT_JPEG,   V4L2_PIX_FMT_BGR24};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 8)
        return 0;
    v4l2_format device{};
    device.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    v4l2_pix_format &pix = device.fmt.pix;
    pix.pixelformat = formats[data[0] % (sizeof formats / sizeof formats[0])];
    pix.width = 1 + (data[1] | (data[2] & 1) << 8);  // 1 to 512
    pix.height = 1 + (data[3] | (data[2] & 2) << 7); // 1 to 512
    pix.bytesperline = data[4] ? pix.width * data[4] / 64 : 0;
    pix.colorspace = data[5] % 12;
    pix.ycbcr_enc = data[6] % 8;
    pix.quantization = data[7] % 3;
    data += 8;
    size -= 8;

    platform::VideoFormat output;
    output.width = static_cast<LONG>(pix.width);
    output.height = static_cast<LONG>(pix.height);
    platform::PictureConversion conversion(device, output, nullptr);
    if (!conversion.valid())
        return 0;

    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t mapped = (size + page - 1) / page * page + page;
    auto *base =
        static_cast<uint8_t *>(mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base == MAP_FAILED)
        return 0;
    mprotect(base + mapped - page, page, PROT_NONE);
    uint8_t *picture = base + mapped - page - size;
    if (size)
        std::memcpy(picture, data, size);
    if (conversion.plausible(picture, size)) {
        std::vector<uint8_t> out(output.imageSize());
        conversion.convert(picture, size, out.data());
    }
    munmap(base, mapped);
    return 0;
}
