#include "device/stream_config.h"

bool findStreamConfig(const DeviceRecord *record, ComRef<IAMStreamConfig> &config) {
    if (record->captureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, record->captureFilter,
                                              IID_IAMStreamConfig, config.voidOut()) == S_OK &&
        config)
        return true;
    return record->captureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, record->captureFilter,
                                                 IID_IAMStreamConfig, config.voidOut()) == S_OK &&
           config;
}
