#include "device/device_methods.h"
