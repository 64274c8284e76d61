#include "dshow/capture_device.h"

#include <algorithm>

namespace platform {

double CameraDescription::rateAt(FrameSize size) const {
    auto found = std::find(sizes.begin(), sizes.end(), size);
    size_t index = static_cast<size_t>(found - sizes.begin());
    return index < rates.size() ? rates[index] : fps;
}

bool CameraDescription::operator==(const CameraDescription &o) const {
    return name == o.name && sizes == o.sizes && interleaved == o.interleaved && fps == o.fps && rates == o.rates &&
           firstFrameMs == o.firstFrameMs && delivers == o.delivers && unpluggedAfter == o.unpluggedAfter &&
           formatBlock == o.formatBlock && filterPages == o.filterPages && pinPages == o.pinPages &&
           settings == o.settings;
}

bool Device::acquire(const void *owner) {
    quorin::Lock guard(lock_);
    if (holder_ && holder_ != owner)
        return false;
    holder_ = owner;
    return true;
}

void Device::release(const void *owner) {
    quorin::Lock guard(lock_);
    if (holder_ == owner)
        holder_ = nullptr;
}

} // namespace platform
