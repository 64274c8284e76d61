#include "dshow/capture_device.h"

namespace platform {

bool CameraDescription::operator==(const CameraDescription &o) const {
    return name == o.name && sizes == o.sizes && interleaved == o.interleaved && fps == o.fps &&
           firstFrameMs == o.firstFrameMs && delivers == o.delivers && formatBlock == o.formatBlock &&
           filterPages == o.filterPages && pinPages == o.pinPages;
}

bool Device::acquire(const void *owner) {
    std::lock_guard<std::mutex> guard(lock_);
    if (holder_ && holder_ != owner)
        return false;
    holder_ = owner;
    return true;
}

void Device::release(const void *owner) {
    std::lock_guard<std::mutex> guard(lock_);
    if (holder_ == owner)
        holder_ = nullptr;
}

} // namespace platform
