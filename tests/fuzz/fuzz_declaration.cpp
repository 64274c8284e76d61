// libFuzzer: the virtual cameras' declaration (QUORIN_VIRTUAL_CAMERAS), as a
// whole list and as one camera. Any text is either cameras or one line of
// error, never a crash, a hang or an exception out of the parser.
#include "sources/virtual/declaration.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<platform::CameraDescription> cameras;
    std::string error;
    if (!platform::parseCameraList(text, cameras, error) && (error.empty() || error.find('\n') != std::string::npos))
        __builtin_trap(); // a refusal always says why, in one line
    platform::CameraDescription camera;
    error.clear();
    if (!platform::parseCamera(text, camera, error) && error.empty())
        __builtin_trap();
    return 0;
}
