#include "sources/v4l2/v4l2_usb_name.h"

#include "sources/v4l2/v4l2_io.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

constexpr size_t cardBytes = 32; // v4l2_capability's card and uvcvideo's name, with the terminating zero

// What the active configuration's descriptors say about one interface's
// function: the string index that names it (0: none) and every interface
// (at its first alternate setting) whose own string has that index.
struct FunctionString {
    bool read = false; // false: the descriptors do not hold together
    int index = 0;
    std::vector<int> interfacesNamedSo;
};

// Walks the raw descriptors sysfs keeps (the device's, then each
// configuration's); each descriptor is checked against the end before it
// is read, and one that claims less than its header or more than is left
// makes them unreadable.
FunctionString functionString(const std::string &raw, int configuration, int controlInterface) {
    struct Interface {
        int number, string;
    };
    std::vector<Interface> interfaces;
    int associationString = 0, controlString = 0;
    bool associated = false, active = false;
    FunctionString found;
    const auto *bytes = reinterpret_cast<const uint8_t *>(raw.data());
    size_t at = 0;
    while (at < raw.size()) {
        size_t length = bytes[at];
        if (length < 2 || at + length > raw.size())
            return found;
        const uint8_t *d = bytes + at;
        at += length;
        if (d[1] == 0x02 && length >= 9) { // configuration
            active = d[5] == configuration;
        } else if (!active) {
            continue;
        } else if (d[1] == 0x0B && length >= 8) { // interface association
            if (!associated && controlInterface >= d[2] && controlInterface < d[2] + d[3]) {
                associated = true;
                associationString = d[7];
            }
        } else if (d[1] == 0x04 && length >= 9 && d[3] == 0) { // interface, first alternate setting
            interfaces.push_back({d[2], d[8]});
            if (d[2] == controlInterface)
                controlString = d[8];
        }
    }
    // As uvcvideo and Windows choose: the association's string, else the
    // control interface's.
    found.read = true;
    found.index = associationString ? associationString : controlString;
    if (found.index)
        for (const Interface &i : interfaces)
            if (i.string == found.index)
                found.interfacesNamedSo.push_back(i.number);
    return found;
}

// A sysfs attribute without the newline the kernel ends it with; false
// where it cannot be read.
bool attribute(const std::string &path, std::string &text) {
    if (!v4l2Io().readSysfs(path, text))
        return false;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return true;
}

bool number(const std::string &path, int base, int &value) {
    std::string text;
    if (!attribute(path, text) || text.empty())
        return false;
    char *end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, base);
    if (*end || parsed < 0 || parsed > 255)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

std::string usbFunctionName(const std::string &path, const std::string &card) {
    // The interface the driver bound ("…/1-2/1-2:1.0") and its device.
    std::string interface = v4l2Io().deviceFolder(path);
    size_t slash = interface.rfind('/'), dot = interface.rfind('.');
    int controlInterface = 0, configuration = 0;
    if (interface.empty() || slash == std::string::npos || dot == std::string::npos || dot < slash ||
        !number(interface + "/bInterfaceNumber", 16, controlInterface))
        return card;
    std::string device = interface.substr(0, slash);
    std::string raw, product;
    if (!number(device + "/bConfigurationValue", 10, configuration) ||
        !v4l2Io().readSysfs(device + "/descriptors", raw))
        return card;
    bool hasProduct = attribute(device + "/product", product) && !product.empty();

    FunctionString function = functionString(raw, configuration, controlInterface);
    if (!function.read)
        return card;
    if (!function.index)
        return hasProduct ? product : card;
    // The kernel keeps each interface's own string ("interface"), not the
    // association's: the association's is read from an interface that
    // shares its string index, as laptop cameras' do.
    std::string sibling = interface.substr(0, dot + 1);
    for (int named : function.interfacesNamedSo) {
        std::string text;
        if (attribute(sibling + std::to_string(named) + "/interface", text) && !text.empty())
            return text;
    }
    // Else the card has it whole when the driver did not have to cut it.
    std::string prefix = product + ": ";
    if (hasProduct && card.size() + 1 < cardBytes && card.size() > prefix.size() &&
        card.compare(0, prefix.size(), prefix) == 0)
        return card.substr(prefix.size());
    return card;
}

} // namespace platform
