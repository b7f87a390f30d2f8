#ifndef MODULELENUM_H
#define MODULELENUM_H

#include <cstdint>

namespace ModulelEnum {

// Device families. The communication layer only stores and stamps the value,
// so any 32-bit value (including -1, "none yet") is legal.
enum DeviceType : std::int32_t {
    DeviceNone = -1,
    DeviceUnknown = 0,
    DeviceController = 1,
    DeviceDisplay = 2,
    DeviceSender = 3,
    DeviceReceiver = 4,
};

} // namespace ModulelEnum

#endif // MODULELENUM_H
