#include "uvc_controls.h"

#include <algorithm>

namespace uvc {

namespace {

constexpr int cameraTerminalType = 1, processingUnitType = 2;

// Length, signedness and a range as webcams commonly report them: the
// descriptor dumps say which controls a camera has, never their ranges.
struct Range {
    int type;
    int selector;
    size_t length;
    bool isSigned;
    int64_t min, max, res, def;
};
const Range ranges[] = {
    {cameraTerminalType, 0x01, 1, false, 0, 1, 1, 0},            // scanning mode
    {cameraTerminalType, 0x02, 1, false, 0, 0, 0x09, 0x08},      // AE mode: manual and aperture priority
    {cameraTerminalType, 0x03, 1, false, 0, 1, 1, 0},            // AE priority
    {cameraTerminalType, 0x04, 4, false, 3, 2047, 1, 250},       // exposure time, 100 us units
    {cameraTerminalType, 0x05, 1, true, -1, 1, 1, 0},            // exposure, relative
    {cameraTerminalType, 0x06, 2, false, 0, 250, 5, 0},          // focus
    {cameraTerminalType, 0x07, 2, true, -1, 1, 1, 0},            // focus, relative
    {cameraTerminalType, 0x08, 1, false, 0, 1, 1, 1},            // focus, auto
    {cameraTerminalType, 0x09, 2, false, 0, 100, 1, 0},          // iris
    {cameraTerminalType, 0x0B, 2, false, 100, 500, 1, 100},      // zoom
    {cameraTerminalType, 0x0D, 8, true, -36000, 36000, 3600, 0}, // pan and tilt, both the same
    {cameraTerminalType, 0x0F, 2, true, -180, 180, 1, 0},        // roll
    {cameraTerminalType, 0x11, 1, false, 0, 1, 1, 0},            // privacy
    {processingUnitType, 0x01, 2, false, 0, 2, 1, 1},            // backlight compensation
    {processingUnitType, 0x02, 2, true, -64, 64, 1, 0},          // brightness
    {processingUnitType, 0x03, 2, false, 0, 64, 1, 32},          // contrast
    {processingUnitType, 0x04, 2, false, 0, 100, 1, 0},          // gain
    {processingUnitType, 0x05, 1, false, 0, 2, 1, 1},            // power line frequency: off, 50, 60 Hz
    {processingUnitType, 0x06, 2, true, -40, 40, 1, 0},          // hue
    {processingUnitType, 0x07, 2, false, 0, 128, 1, 64},         // saturation
    {processingUnitType, 0x08, 2, false, 0, 6, 1, 3},            // sharpness
    {processingUnitType, 0x09, 2, false, 72, 500, 1, 100},       // gamma
    {processingUnitType, 0x0A, 2, false, 2800, 6500, 1, 4600},   // white balance temperature
    {processingUnitType, 0x0B, 1, false, 0, 1, 1, 1},            // white balance temperature, auto
    {processingUnitType, 0x10, 1, false, 0, 1, 1, 0},            // hue, auto
};

std::vector<uint8_t> encode(int64_t value, size_t length) {
    std::vector<uint8_t> bytes(length);
    // Pan and tilt are two 32-bit halves of the same value.
    size_t half = length == 8 ? 4 : length;
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * (i % half)));
    return bytes;
}

int64_t decode(const std::vector<uint8_t> &bytes, bool isSigned) {
    size_t length = bytes.size() == 8 ? 4 : bytes.size();
    uint64_t raw = 0;
    for (size_t i = 0; i < length; ++i)
        raw |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    if (isSigned && length < 8 && (raw >> (8 * length - 1)) & 1)
        raw |= ~uint64_t{0} << (8 * length);
    return static_cast<int64_t>(raw);
}

} // namespace

Controls::Controls(const Profile &profile) : stalls_(profile.stalls) {
    for (const Control &control : profile.controls) {
        int type = control.unit == profile.cameraTerminal ? cameraTerminalType : processingUnitType;
        for (const Range &r : ranges)
            if (r.type == type && r.selector == control.selector)
                values_.push_back({control.unit, control.selector, r.length, r.isSigned,
                                   type == cameraTerminalType && r.selector == 0x02, r.min, r.max, r.res, r.def,
                                   r.def});
    }
}

Controls::Value *Controls::find(int unit, int selector) {
    for (Value &v : values_)
        if (v.unit == unit && v.selector == selector)
            return &v;
    return nullptr;
}

const Controls::Value *Controls::find(int unit, int selector) const {
    return const_cast<Controls *>(this)->find(unit, selector);
}

void Controls::stall(int unit, int selector, int request) { stalls_.push_back({unit, selector, request}); }

std::optional<std::vector<uint8_t>> Controls::get(int unit, int selector, int request) const {
    for (const Stall &s : stalls_)
        if (s.unit == unit && s.selector == selector && (s.request == request || s.request == 0))
            return std::nullopt;
    const Value *v = find(unit, selector);
    if (!v)
        return std::nullopt;
    switch (request) {
    case 0x81:
        return encode(v->cur, v->length);
    case 0x82:
        return encode(v->min, v->length);
    case 0x83:
        return encode(v->max, v->length);
    case 0x84:
        return encode(v->res, v->length);
    case 0x87:
        return encode(v->def, v->length);
    case 0x86:
        return std::vector<uint8_t>{0x03}; // GET and SET supported
    case 0x85:
        return encode(static_cast<int64_t>(v->length), 2);
    default:
        return std::nullopt;
    }
}

bool Controls::set(int unit, int selector, const std::vector<uint8_t> &value) {
    for (const Stall &s : stalls_)
        if (s.unit == unit && s.selector == selector && (s.request == 0x01 || s.request == 0))
            return false;
    Value *v = find(unit, selector);
    if (!v || value.size() != v->length)
        return false;
    int64_t wanted = decode(value, v->isSigned);
    // The AE mode is one bit among those GET_RES offers.
    if (v->bitmap) {
        if (wanted == 0 || (wanted & (wanted - 1)) || !(wanted & v->res))
            return false;
    } else if (wanted < v->min || wanted > v->max) {
        return false;
    }
    v->cur = wanted;
    return true;
}

} // namespace uvc
