// The settings a capture filter offers through IAMVideoProcAmp and
// IAMCameraControl, by the names scripts and declarations give them:
// DirectShow's property names in lower case, each with its interface and
// property number. Header only, so that the platform library uses it too.
#pragma once

#include <cstring>

namespace quorin {

enum class SettingFamily { VideoProcAmp, CameraControl };

struct SettingName {
    const char *name;
    SettingFamily family;
    long property; // a VideoProcAmpProperty or a CameraControlProperty
};

inline constexpr SettingName settingNames[] = {
    {"brightness", SettingFamily::VideoProcAmp, 0},
    {"contrast", SettingFamily::VideoProcAmp, 1},
    {"hue", SettingFamily::VideoProcAmp, 2},
    {"saturation", SettingFamily::VideoProcAmp, 3},
    {"sharpness", SettingFamily::VideoProcAmp, 4},
    {"gamma", SettingFamily::VideoProcAmp, 5},
    {"colorenable", SettingFamily::VideoProcAmp, 6},
    {"whitebalance", SettingFamily::VideoProcAmp, 7},
    {"backlightcompensation", SettingFamily::VideoProcAmp, 8},
    {"gain", SettingFamily::VideoProcAmp, 9},
    {"pan", SettingFamily::CameraControl, 0},
    {"tilt", SettingFamily::CameraControl, 1},
    {"roll", SettingFamily::CameraControl, 2},
    {"zoom", SettingFamily::CameraControl, 3},
    {"exposure", SettingFamily::CameraControl, 4},
    {"iris", SettingFamily::CameraControl, 5},
    {"focus", SettingFamily::CameraControl, 6},
};

// The setting of that name (exactly: lower case, no spaces); null for none.
inline const SettingName *findSetting(const char *name) {
    for (const SettingName &setting : settingNames)
        if (std::strcmp(setting.name, name) == 0)
            return &setting;
    return nullptr;
}

} // namespace quorin
