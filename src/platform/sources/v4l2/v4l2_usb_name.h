// The name of a USB camera's video function, as Windows gives it.
#pragma once

#include <string>

namespace platform {

// uvcvideo names a camera whose function (its interface association, or
// else its control interface) carries a string "product: function", cut at
// 31 bytes: "Integrated Camera: Integrated C". Windows names it by that
// string alone, else by the product string. This gives Windows' name, read
// whole from sysfs, for the node at path whose driver reported card; card
// itself where the node is no USB interface or the name cannot be read whole.
std::string usbFunctionName(const std::string &path, const std::string &card);

} // namespace platform
