// JPEG pictures made in the test with TurboJPEG, as a camera sends them:
// 4:2:2, with or without Huffman tables (UVC cameras leave them out of
// MJPEG frames and decoders use the standard ones).
#pragma once

#include <turbojpeg.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

// A picture with the gradients and edges of a natural scene (top-down B, G,
// R rows), so that it compresses as a camera's frame does.
inline std::vector<uint8_t> naturalPicture(int width, int height) {
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t *p = &picture[(static_cast<size_t>(y) * width + x) * 3];
            double fx = double(x) / width, fy = double(y) / height;
            double ripple = 40 * std::sin(fx * 25 + fy * 7) * std::cos(fy * 19);
            p[0] = static_cast<uint8_t>(std::fmin(255, std::fmax(0, 60 + 120 * fy + ripple)));
            p[1] = static_cast<uint8_t>(std::fmin(255, std::fmax(0, 90 + 100 * fx - ripple / 2)));
            p[2] = static_cast<uint8_t>(std::fmin(255, std::fmax(0, 200 - 150 * fx * fy + ((x / 8 + y / 8) % 2) * 30)));
        }
    return picture;
}

// Removes every DHT segment, as a UVC camera's MJPEG frame has none.
inline std::vector<uint8_t> withoutHuffmanTables(const std::vector<uint8_t> &jpeg) {
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2); // SOI
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        uint8_t marker = jpeg[i + 1];
        size_t length = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (marker == 0xDA) // start of scan: the rest is data
            break;
        if (marker != 0xC4)
            out.insert(out.end(), jpeg.begin() + static_cast<long>(i),
                       jpeg.begin() + static_cast<long>(i + 2 + length));
        i += 2 + length;
    }
    out.insert(out.end(), jpeg.begin() + static_cast<long>(i), jpeg.end());
    return out;
}

inline std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t> &bgr, int width, int height, int quality,
                                       bool huffmanTables) {
    tjhandle encoder = tjInitCompress();
    unsigned char *data = nullptr;
    unsigned long size = 0;
    int failed =
        tjCompress2(encoder, bgr.data(), width, width * 3, height, TJPF_BGR, &data, &size, TJSAMP_422, quality, 0);
    std::vector<uint8_t> jpeg(data, data + (failed ? 0 : size));
    tjFree(data);
    tjDestroy(encoder);
    if (failed)
        throw std::runtime_error("tjCompress2 failed");
    return huffmanTables ? jpeg : withoutHuffmanTables(jpeg);
}

// Top-down B, G, R rows, as the reference the platform's decode is held to.
inline std::vector<uint8_t> decodeJpeg(const std::vector<uint8_t> &jpeg, int width, int height) {
    tjhandle decoder = tjInitDecompress();
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3);
    int failed =
        tjDecompress2(decoder, jpeg.data(), jpeg.size(), picture.data(), width, width * 3, height, TJPF_BGR, 0);
    tjDestroy(decoder);
    if (failed)
        throw std::runtime_error("tjDecompress2 failed");
    return picture;
}
