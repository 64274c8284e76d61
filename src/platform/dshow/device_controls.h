// The settings a capture device offers on its filter's property pages
// (brightness, contrast, exposure...), as the device names and ranges them.
// A DeviceControls is opened for one dialog and closed with it; it reads and
// sets the device's own values, so a change applies at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class ControlType { Integer, Boolean, Menu, IntegerMenu, Button };

struct ControlChoice {
    int64_t value;     // what the control is set to for this choice
    std::string label; // what the user sees
};

struct Control {
    uint32_t id = 0;
    std::string name;
    std::string group; // the page it is shown on ("User Controls", "Camera Controls")
    ControlType type = ControlType::Integer;
    int64_t minimum = 0, maximum = 0, step = 1, defaultValue = 0;
    int64_t value = 0;
    std::vector<ControlChoice> choices; // menus only
    // Shown but not changeable now: another control decides it (inactive),
    // it only reports (read-only), or a running stream holds it (grabbed).
    bool inactive = false, readOnly = false, grabbed = false;
};

class DeviceControls {
public:
    virtual ~DeviceControls() = default;
    // Every control with its current value and state.
    virtual std::vector<Control> list() = 0;
    // Sets one control: empty when the device took the value, otherwise the
    // device's reason for refusing it (the control is then unchanged).
    virtual std::string set(uint32_t id, int64_t value) = 0;
};

} // namespace platform
