#ifndef SOAKMEDIA_H
#define SOAKMEDIA_H

#include "soakmedium.h"

#include <memory>

// The media a run can use, one file each.
std::unique_ptr<SoakMedium> makeSerialMedium();
std::unique_ptr<SoakMedium> makeUdpMedium();
std::unique_ptr<SoakMedium> makeUsbMedium();

#endif // SOAKMEDIA_H
