// The stream configuration of the capture pin, looked up the way DirectShow
// devices expose it: on an interleaved (audio and video) pin first, then on
// a plain video pin.
#pragma once

#include "common/com_ref.h"
#include "graph/device_record.h"

// True with config holding the capture pin's IAMStreamConfig.
bool findStreamConfig(const DeviceRecord *record, ComRef<IAMStreamConfig> &config);
