#include "uvc_profile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace uvc {

namespace {

using json = nlohmann::json;

// "0x046d" or a number.
uint32_t number(const json &value) {
    if (value.is_number_unsigned())
        return value.get<uint32_t>();
    return static_cast<uint32_t>(std::stoul(value.get<std::string>(), nullptr, 0));
}

// "2.00" -> 0x0200, "30.08" -> 0x3008: the digits are the BCD nibbles.
uint16_t bcd(const std::string &text) {
    size_t dot = text.find('.');
    std::string major = text.substr(0, dot), minor = dot == std::string::npos ? "00" : text.substr(dot + 1);
    return static_cast<uint16_t>(std::stoul(major, nullptr, 16) << 8 | std::stoul(minor, nullptr, 16));
}

// "3x 1024 bytes" -> {transactions, packet size}.
std::pair<uint32_t, uint32_t> packetSize(const std::string &text) {
    size_t x = text.find('x');
    if (x == std::string::npos)
        return {1, static_cast<uint32_t>(std::stoul(text))};
    return {static_cast<uint32_t>(std::stoul(text.substr(0, x))),
            static_cast<uint32_t>(std::stoul(text.substr(x + 1)))};
}

class Bytes {
public:
    Bytes &u8(uint32_t v) {
        data.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes &u16(uint32_t v) { return u8(v).u8(v >> 8); }
    Bytes &u32(uint32_t v) { return u16(v).u16(v >> 16); }
    // Little-endian, in size bytes.
    Bytes &bits(uint32_t v, size_t size) {
        for (size_t i = 0; i < size; ++i)
            u8(v >> (8 * i));
        return *this;
    }
    // A GUID in its usual text form, as it lies in a descriptor.
    Bytes &guid(const std::string &text) {
        std::string hex;
        for (char c : text)
            if (c != '-')
                hex += c;
        if (hex.size() != 32)
            throw std::runtime_error("not a GUID: " + text);
        auto byte = [&](size_t i) { return static_cast<uint32_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16)); };
        u32(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3));
        u16(byte(4) << 8 | byte(5));
        u16(byte(6) << 8 | byte(7));
        for (size_t i = 8; i < 16; ++i)
            u8(byte(i));
        return *this;
    }
    Bytes &append(const Bytes &other) {
        data.insert(data.end(), other.data.begin(), other.data.end());
        return *this;
    }
    // Makes the first byte the length, as every descriptor starts.
    Bytes &sealed() {
        data[0] = static_cast<uint8_t>(data.size());
        return *this;
    }
    std::vector<uint8_t> data;
};

// A hex byte string ("3f03") as the bytes it spells.
Bytes hexBytes(const std::string &text) {
    Bytes b;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        b.u8(static_cast<uint32_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return b;
}

// The names of the VS header's bmaControls bits, D0 first.
const char *const streamingControlBits[] = {"wKeyFrameRate",   "wPFrameRate",        "wCompQuality",
                                            "wCompWindowSize", "Generate Key Frame", "Update Frame Segment"};

// Controls of the camera terminal and the processing unit, by bit of their
// bmControls, with the selector each bit stands for.
struct ControlBit {
    int bit;
    int selector;
    const char *name;
};
const ControlBit cameraTerminalBits[] = {
    {0, 0x01, "Scanning Mode"},
    {1, 0x02, "Auto-Exposure Mode"},
    {2, 0x03, "Auto-Exposure Priority"},
    {3, 0x04, "Exposure Time (Absolute)"},
    {4, 0x05, "Exposure Time (Relative)"},
    {5, 0x06, "Focus (Absolute)"},
    {6, 0x07, "Focus (Relative)"},
    {7, 0x09, "Iris (Absolute)"},
    {8, 0x0A, "Iris (Relative)"},
    {9, 0x0B, "Zoom (Absolute)"},
    {10, 0x0C, "Zoom (Relative)"},
    {11, 0x0D, "PanTilt (Absolute)"},
    {12, 0x0E, "PanTilt (Relative)"},
    {13, 0x0F, "Roll (Absolute)"},
    {14, 0x10, "Roll (Relative)"},
    {17, 0x08, "Focus, Auto"},
    {18, 0x11, "Privacy"},
};
const ControlBit processingUnitBits[] = {
    {0, 0x02, "Brightness"},
    {1, 0x03, "Contrast"},
    {2, 0x06, "Hue"},
    {3, 0x07, "Saturation"},
    {4, 0x08, "Sharpness"},
    {5, 0x09, "Gamma"},
    {6, 0x0A, "White Balance Temperature"},
    {7, 0x0C, "White Balance Component"},
    {8, 0x01, "Backlight Compensation"},
    {9, 0x04, "Gain"},
    {10, 0x05, "Power Line Frequency"},
    {11, 0x10, "Hue, Auto"},
    {12, 0x0B, "White Balance Temperature, Auto"},
    {13, 0x0D, "White Balance Component, Auto"},
    {14, 0x0E, "Digital Multiplier"},
    {15, 0x0F, "Digital Multiplier Limit"},
};

template <size_t N>
void addControls(Profile &p, int unit, uint32_t mask, const ControlBit (&bits)[N]) {
    for (const ControlBit &b : bits)
        if (mask & (1u << b.bit))
            p.controls.push_back({unit, b.selector, b.name});
}

int requestCode(const std::string &name) {
    static const std::map<std::string, int> codes = {{"SET_CUR", 0x01},  {"GET_CUR", 0x81}, {"GET_MIN", 0x82},
                                                     {"GET_MAX", 0x83},  {"GET_RES", 0x84}, {"GET_LEN", 0x85},
                                                     {"GET_INFO", 0x86}, {"GET_DEF", 0x87}};
    auto found = codes.find(name);
    if (found == codes.end())
        throw std::runtime_error("no such request: " + name);
    return found->second;
}

Bytes videoControl(Profile &p, const json &vc) {
    Bytes entities;
    size_t extension = 0, output = 0;
    for (const json &kind : vc.at("descriptor_order")) {
        if (kind == "HEADER")
            continue;
        if (kind == "INPUT_TERMINAL") {
            const json &it = vc.at("input_terminal");
            uint32_t size = number(it.at("bControlSize")), mask = number(it.at("bmControls"));
            p.cameraTerminal = static_cast<int>(number(it.at("bTerminalID")));
            addControls(p, p.cameraTerminal, mask, cameraTerminalBits);
            Bytes d;
            d.u8(0).u8(0x24).u8(0x02).u8(p.cameraTerminal).u16(number(it.at("wTerminalType"))).u8(0).u8(0);
            d.u16(0).u16(0).u16(0).u8(size).bits(mask, size);
            entities.append(d.sealed());
        } else if (kind == "PROCESSING_UNIT") {
            const json &pu = vc.at("processing_unit");
            uint32_t size = number(pu.at("bControlSize")), mask = number(pu.at("bmControls"));
            p.processingUnit = static_cast<int>(number(pu.at("bUnitID")));
            addControls(p, p.processingUnit, mask, processingUnitBits);
            Bytes d;
            d.u8(0).u8(0x24).u8(0x05).u8(p.processingUnit).u8(number(pu.at("bSourceID")));
            d.u16(number(pu.at("wMaxMultiplier"))).u8(size).bits(mask, size).u8(0);
            // The 12-byte UVC 1.1 form adds bmVideoStandards.
            if (number(pu.at("bLength")) >= 12)
                d.u8(pu.contains("bmVideoStandards") ? number(pu.at("bmVideoStandards")) : 0);
            entities.append(d.sealed());
        } else if (kind == "EXTENSION_UNIT") {
            const json &xu = vc.at("extension_units").at(extension++);
            Bytes d;
            d.u8(0).u8(0x24).u8(0x06).u8(number(xu.at("bUnitID"))).guid(xu.at("guidExtensionCode"));
            d.u8(number(xu.at("bNumControls"))).u8(static_cast<uint32_t>(xu.at("baSourceID").size()));
            for (const json &source : xu.at("baSourceID"))
                d.u8(number(source));
            d.u8(number(xu.at("bControlSize"))).append(hexBytes(xu.at("bmControls"))).u8(0);
            entities.append(d.sealed());
        } else if (kind == "OUTPUT_TERMINAL") {
            const json &ot = vc.at("output_terminals").at(output++);
            Bytes d;
            d.u8(0).u8(0x24).u8(0x03).u8(number(ot.at("bTerminalID"))).u16(number(ot.at("wTerminalType")));
            d.u8(0).u8(number(ot.at("bSourceID"))).u8(0);
            entities.append(d.sealed());
        } else {
            throw std::runtime_error("unknown VideoControl descriptor " + kind.dump());
        }
    }
    Bytes header;
    const json &streaming = vc.contains("baInterfaceNr") ? vc.at("baInterfaceNr") : json::array({1});
    header.u8(12 + streaming.size()).u8(0x24).u8(0x01).u16(p.bcdUVC).u16(0).u32(p.clockHz);
    header.u8(static_cast<uint32_t>(streaming.size()));
    for (const json &n : streaming)
        header.u8(number(n));
    size_t total = header.data.size() + entities.data.size();
    header.data[5] = static_cast<uint8_t>(total);
    header.data[6] = static_cast<uint8_t>(total >> 8);
    return header.append(entities);
}

Bytes frameDescriptor(const Format &format, const json &fr, Frame &frame) {
    frame.index = static_cast<int>(number(fr.at("bFrameIndex")));
    frame.width = static_cast<int>(number(fr.at("wWidth")));
    frame.height = static_cast<int>(number(fr.at("wHeight")));
    frame.defaultInterval = number(fr.at("dwDefaultFrameInterval"));
    for (const json &i : fr.at("dwFrameInterval"))
        frame.intervals.push_back(number(i));
    Bytes d;
    int subtype = format.kind == FormatKind::Uncompressed ? 0x05 : format.kind == FormatKind::Mjpeg ? 0x07 : 0x11;
    d.u8(0).u8(0x24).u8(subtype).u8(frame.index).u8(number(fr.at("bmCapabilities")));
    d.u16(frame.width).u16(frame.height).u32(number(fr.at("dwMinBitRate"))).u32(number(fr.at("dwMaxBitRate")));
    if (format.kind == FormatKind::FrameBased) {
        frame.maxFrameBytes = static_cast<uint32_t>(frame.width * frame.height * 2);
        d.u32(frame.defaultInterval).u8(number(fr.at("bFrameIntervalType"))).u32(number(fr.at("dwBytesPerLine")));
    } else {
        frame.maxFrameBytes = number(fr.at("dwMaxVideoFrameBufferSize"));
        d.u32(frame.maxFrameBytes).u32(frame.defaultInterval).u8(number(fr.at("bFrameIntervalType")));
    }
    for (uint32_t interval : frame.intervals)
        d.u32(interval);
    return d.sealed();
}

Bytes formatDescriptors(Profile &p, const json &fm) {
    Format format;
    format.index = static_cast<int>(number(fm.at("bFormatIndex")));
    format.defaultFrame = static_cast<int>(number(fm.at("bDefaultFrameIndex")));
    const std::string subtype = fm.at("subtype");
    const json &frames = fm.at("frames");
    const json &aspect = fm.at("bAspectRatio");
    Bytes d;
    if (subtype == "FORMAT_UNCOMPRESSED" || subtype == "FORMAT_FRAME_BASED") {
        bool frameBased = subtype == "FORMAT_FRAME_BASED";
        format.kind = frameBased ? FormatKind::FrameBased : FormatKind::Uncompressed;
        format.fourcc = fm.value("fourcc", "");
        d.u8(0).u8(0x24).u8(frameBased ? 0x10 : 0x04).u8(format.index).u8(static_cast<uint32_t>(frames.size()));
        d.guid(fm.at("guidFormat")).u8(number(fm.at("bBitsPerPixel"))).u8(format.defaultFrame);
        d.u8(number(aspect.at(0))).u8(number(aspect.at(1))).u8(number(fm.at("bmInterlaceFlags")));
        d.u8(number(fm.at("bCopyProtect")));
        if (frameBased)
            d.u8(number(fm.at("bVariableSize")));
    } else if (subtype == "FORMAT_MJPEG") {
        format.kind = FormatKind::Mjpeg;
        format.fourcc = "MJPG";
        d.u8(0).u8(0x24).u8(0x06).u8(format.index).u8(static_cast<uint32_t>(frames.size()));
        d.u8(number(fm.at("bmFlags"))).u8(format.defaultFrame).u8(number(aspect.at(0))).u8(number(aspect.at(1)));
        d.u8(number(fm.at("bmInterlaceFlags"))).u8(number(fm.at("bCopyProtect")));
    } else {
        throw std::runtime_error("unknown format " + subtype);
    }
    Bytes all;
    all.append(d.sealed());
    for (const json &fr : frames) {
        Frame frame;
        all.append(frameDescriptor(format, fr, frame));
        format.frames.push_back(frame);
    }
    if (fm.contains("still_image_frame")) {
        const json &still = fm.at("still_image_frame");
        Bytes s;
        s.u8(0).u8(0x24).u8(0x03).u8(number(still.at("bEndpointAddress")));
        s.u8(static_cast<uint32_t>(still.at("sizes").size()));
        for (const json &size : still.at("sizes"))
            s.u16(number(size.at(0))).u16(number(size.at(1)));
        s.u8(static_cast<uint32_t>(still.at("bCompression").size()));
        for (const json &c : still.at("bCompression"))
            s.u8(number(c));
        all.append(s.sealed());
    }
    if (fm.contains("colour_matching")) {
        const json &cm = fm.at("colour_matching");
        Bytes c;
        c.u8(0).u8(0x24).u8(0x0D).u8(number(cm.at("bColorPrimaries"))).u8(number(cm.at("bTransferCharacteristics")));
        c.u8(number(cm.at("bMatrixCoefficients")));
        all.append(c.sealed());
    }
    p.formats.push_back(format);
    return all;
}

Bytes interfaceDescriptor(int number, int alternate, int endpoints, int subclass, int string = 0) {
    Bytes d;
    d.u8(9).u8(0x04).u8(number).u8(alternate).u8(endpoints).u8(0x0E).u8(subclass).u8(0).u8(string);
    return d;
}

Bytes endpointDescriptor(int address, int attributes, uint32_t maxPacket, int interval) {
    Bytes d;
    d.u8(7).u8(0x05).u8(address).u8(attributes).u16(maxPacket).u8(interval);
    return d;
}

Bytes videoStreaming(Profile &p, const json &vs) {
    p.streamingInterface = static_cast<int>(number(vs.at("bInterfaceNumber")));
    const json &h = vs.at("header");
    p.endpoint = static_cast<int>(number(h.at("bEndpointAddress")));
    p.bulk = vs.at("streaming_transfer_type") == "bulk";

    Bytes formats;
    for (const json &fm : vs.at("formats"))
        formats.append(formatDescriptors(p, fm));

    // bNumFormats as the header says it, which may count more formats than
    // follow (the C270's does); bmaControls has that many entries.
    const json &controls = h.at("bmaControls");
    uint32_t controlSize = number(h.at("bControlSize"));
    Bytes header;
    header.u8(0).u8(0x24).u8(0x01).u8(number(h.at("bNumFormats"))).u16(0).u8(p.endpoint).u8(number(h.at("bmInfo")));
    header.u8(number(h.at("bTerminalLink"))).u8(number(h.at("bStillCaptureMethod")));
    header.u8(number(h.at("bTriggerSupport"))).u8(number(h.at("bTriggerUsage"))).u8(controlSize);
    for (const json &names : controls) {
        uint32_t mask = 0;
        for (const json &name : names)
            for (size_t bit = 0; bit < sizeof streamingControlBits / sizeof streamingControlBits[0]; ++bit)
                if (name == streamingControlBits[bit])
                    mask |= 1u << bit;
        header.bits(mask, controlSize);
    }
    header.sealed();
    size_t total = header.data.size() + formats.data.size();
    header.data[4] = static_cast<uint8_t>(total);
    header.data[5] = static_cast<uint8_t>(total >> 8);

    Bytes all;
    for (const json &alt : vs.at("alt_settings")) {
        int alternate = static_cast<int>(number(alt.at("bAlternateSetting")));
        bool hasEndpoint = !alt.at("bEndpointAddress").is_null();
        all.append(interfaceDescriptor(p.streamingInterface, alternate, hasEndpoint ? 1 : 0, 0x02));
        if (alternate == 0)
            all.append(header).append(formats);
        if (!hasEndpoint)
            continue;
        std::pair<uint32_t, uint32_t> size = packetSize(alt.at("wMaxPacketSize"));
        if (p.bulk) {
            p.bulkPacket = size.second;
            all.append(
                endpointDescriptor(p.endpoint, 0x02, size.second, static_cast<int>(number(alt.at("bInterval")))));
        } else {
            p.alternates.push_back({alternate, size.first * size.second});
            uint32_t field = (size.first - 1) << 11 | size.second;
            all.append(endpointDescriptor(p.endpoint, 0x05, field, static_cast<int>(number(alt.at("bInterval")))));
        }
    }
    return all;
}

// The video function's descriptors (from its association on) as a second
// function of the same device: its interfaces after the first's, its
// endpoints at the numbers given, its association and control interface
// named by string index name.
Bytes secondFunction(const Bytes &first, int interfaceOffset, int name, std::map<int, int> endpoints) {
    Bytes second = first;
    std::vector<uint8_t> &b = second.data;
    int subclass = 0;
    for (size_t at = 0; at + 2 <= b.size() && b[at] >= 2; at += b[at]) {
        uint8_t *d = &b[at];
        if (d[1] == 0x0B) { // interface association
            d[2] = static_cast<uint8_t>(d[2] + interfaceOffset);
            d[7] = static_cast<uint8_t>(name);
        } else if (d[1] == 0x04) { // interface
            d[2] = static_cast<uint8_t>(d[2] + interfaceOffset);
            subclass = d[6];
            if (subclass == 0x01)
                d[8] = static_cast<uint8_t>(name);
        } else if (d[1] == 0x05) { // endpoint
            d[2] = static_cast<uint8_t>(endpoints.at(d[2]));
        } else if (d[1] == 0x24 && subclass == 0x01 && d[2] == 0x01) { // control header: its streaming interfaces
            for (size_t i = 12; i < d[0]; ++i)
                d[i] = static_cast<uint8_t>(d[i] + interfaceOffset);
        } else if (d[1] == 0x24 && subclass == 0x02 && d[2] == 0x01) { // streaming input header
            d[6] = static_cast<uint8_t>(endpoints.at(d[6]));
        } else if (d[1] == 0x24 && subclass == 0x02 && d[2] == 0x03 && d[3]) { // still image frame's own endpoint
            d[3] = static_cast<uint8_t>(endpoints.at(d[3]));
        }
    }
    return second;
}

} // namespace

const Frame *Format::frame(int frameIndex) const {
    for (const Frame &f : frames)
        if (f.index == frameIndex)
            return &f;
    return nullptr;
}

const Format *Profile::format(int formatIndex) const {
    for (const Format &f : formats)
        if (f.index == formatIndex)
            return &f;
    return nullptr;
}

Profile loadProfile(const std::string &path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    json data = json::parse(in);
    Profile p;
    p.shortName = data.at("short_name");
    const json &device = data.at("device");
    p.vendor = static_cast<uint16_t>(number(device.at("idVendor")));
    p.product = static_cast<uint16_t>(number(device.at("idProduct")));
    p.bcdUSB = bcd(device.at("bcdUSB"));
    p.bcdDevice = bcd(device.at("bcdDevice"));
    p.fullSpeed = device.value("bus_speed_during_capture", "").find("Full-Speed") != std::string::npos;
    p.bcdUVC = bcd(data.at("bcdUVC"));
    p.clockHz = number(data.at("dwClockFrequency_Hz"));
    int manufacturer = static_cast<int>(number(device.at("iManufacturer").at("index")));
    int product = static_cast<int>(number(device.at("iProduct").at("index")));
    int serial = static_cast<int>(number(device.at("iSerialNumber_index")));
    if (manufacturer)
        p.strings[manufacturer] = device.at("iManufacturer").at("string");
    if (product)
        p.strings[product] = device.at("iProduct").at("string");
    // No dump gives a serial number's text; ours is as plain as most.
    if (serial && !p.strings.count(serial))
        p.strings[serial] = "0001";
    // A camera whose function names itself: its association's iFunction and
    // its control interface's iInterface, one string.
    int function = 0;
    if (device.contains("iFunction_and_VC_iInterface")) {
        function = static_cast<int>(number(device.at("iFunction_and_VC_iInterface").at("index")));
        p.strings[function] = device.at("iFunction_and_VC_iInterface").at("string");
    }

    const json &vc = data.at("video_control");
    Bytes control = videoControl(p, vc);
    Bytes streaming;
    for (const json &vs : data.at("video_streaming"))
        streaming.append(videoStreaming(p, vs));
    if (data.contains("emulation"))
        for (const json &stall : data.at("emulation").value("stalls", json::array()))
            p.stalls.push_back({static_cast<int>(number(stall.at("unit"))),
                                static_cast<int>(number(stall.at("selector"))), requestCode(stall.at("request"))});

    // The camera's video function alone: the microphone and HID interfaces
    // that some of these cameras also have are left out.
    size_t streamingInterfaces = data.at("video_streaming").size();
    const json &interrupt = vc.at("interrupt_endpoint");
    uint32_t interruptPacket = packetSize(interrupt.at("wMaxPacketSize")).second;
    // The interface association that binds the video function.
    int interruptEndpoint = static_cast<int>(number(interrupt.at("bEndpointAddress")));
    Bytes video;
    video.u8(8).u8(0x0B).u8(0).u8(static_cast<uint32_t>(1 + streamingInterfaces)).u8(0x0E).u8(0x03).u8(0).u8(function);
    video.append(interfaceDescriptor(0, 0, 1, 0x01, function)).append(control);
    video.append(endpointDescriptor(interruptEndpoint, 0x03, interruptPacket,
                                    static_cast<int>(number(interrupt.at("bInterval")))));
    Bytes csEndpoint;
    csEndpoint.u8(5).u8(0x25).u8(0x03).u16(interruptPacket);
    video.append(csEndpoint).append(streaming);
    p.interfacesPerFunction = static_cast<int>(1 + streamingInterfaces);
    const json &added = data.contains("emulation") ? data.at("emulation") : json::object();
    if (added.contains("second_function")) {
        // Its endpoints take the next numbers free after the first's.
        const json &name = added.at("second_function").at("iFunction");
        int index = static_cast<int>(number(name.at("index")));
        p.strings[index] = name.at("string");
        int free = std::max(p.endpoint & 0x0F, interruptEndpoint & 0x0F) + 1;
        p.secondEndpoint = 0x80 | free;
        std::map<int, int> endpoints = {{p.endpoint, p.secondEndpoint}, {interruptEndpoint, 0x80 | (free + 1)}};
        video.append(secondFunction(video, p.interfacesPerFunction, index, endpoints));
    }
    Bytes config;
    config.u8(9).u8(0x02).u16(0).u8(
        static_cast<uint32_t>(p.secondEndpoint ? 2 * p.interfacesPerFunction : p.interfacesPerFunction));
    config.u8(1).u8(0).u8(0x80).u8(number(data.at("configuration").at("MaxPower_mA")) / 2);
    config.append(video);
    config.data[2] = static_cast<uint8_t>(config.data.size());
    config.data[3] = static_cast<uint8_t>(config.data.size() >> 8);
    p.configDescriptor = config.data;

    Bytes dev;
    dev.u8(18).u8(0x01).u16(p.bcdUSB).u8(0xEF).u8(0x02).u8(0x01).u8(64).u16(p.vendor).u16(p.product);
    dev.u16(p.bcdDevice).u8(manufacturer).u8(product).u8(serial).u8(1);
    p.deviceDescriptor = dev.data;
    if (p.formats.empty())
        throw std::runtime_error(path + ": no format");
    return p;
}

} // namespace uvc
