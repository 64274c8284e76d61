// A real camera's descriptors, read from its profile (tests/uvc/profiles/),
// as the bytes a USB host reads from it and the formats it streams.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace uvc {

enum class FormatKind { Uncompressed, Mjpeg, FrameBased };

struct Frame {
    int index = 0;
    int width = 0;
    int height = 0;
    uint32_t maxFrameBytes = 0; // dwMaxVideoFrameBufferSize, or the picture's size where none is given
    uint32_t defaultInterval = 0;
    std::vector<uint32_t> intervals; // in 100 ns units, as listed
};

struct Format {
    int index = 0;
    FormatKind kind = FormatKind::Uncompressed;
    std::string fourcc; // "YUY2", "MJPG", "H264"
    int defaultFrame = 1;
    std::vector<Frame> frames;

    const Frame *frame(int frameIndex) const;
};

// A control of the camera terminal or processing unit that the descriptors
// advertise.
struct Control {
    int unit = 0;
    int selector = 0;
    std::string name;
};

// A request the camera is reported to stall: {unit, selector, request code}.
struct Stall {
    int unit;
    int selector;
    int request;
};

struct AltSetting {
    int alternate = 0;
    uint32_t payloadBytes = 0; // a service interval's bytes: packet size times transactions
};

struct Profile {
    std::string shortName;
    uint16_t vendor = 0, product = 0, bcdUSB = 0x200, bcdDevice = 0, bcdUVC = 0x100;
    bool fullSpeed = false; // as the dump was captured; else high speed
    uint32_t clockHz = 0;
    std::map<int, std::string> strings; // by index
    int streamingInterface = 1;
    int endpoint = 0x81;
    // A second video function (an infrared one beside the colour one, as
    // laptops have): the first's interfaces again, numbered after them, and
    // streaming on this endpoint (0: none). It shares the first's sensor.
    int interfacesPerFunction = 2;
    int secondEndpoint = 0;
    bool bulk = false;
    uint32_t bulkPacket = 512;
    std::vector<AltSetting> alternates; // the iso ones (none for bulk)
    std::vector<Format> formats;        // in descriptor order
    std::vector<Control> controls;
    std::vector<Stall> stalls;
    int cameraTerminal = 1;
    int processingUnit = 0;

    std::vector<uint8_t> deviceDescriptor;
    std::vector<uint8_t> configDescriptor;

    const Format *format(int formatIndex) const;
    // The probe control's length: 26 bytes for UVC 1.0, 34 for 1.1.
    size_t probeLength() const { return bcdUVC >= 0x110 ? 34 : 26; }
};

// Reads path; throws std::runtime_error saying what is wrong.
Profile loadProfile(const std::string &path);

} // namespace uvc
