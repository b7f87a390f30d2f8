#include "portlog.h"

Q_LOGGING_CATEGORY(lcPort, "velmora.port")
Q_LOGGING_CATEGORY(lcPortSerial, "velmora.port.serial")
Q_LOGGING_CATEGORY(lcPortUdp, "velmora.port.udp")
Q_LOGGING_CATEGORY(lcPortUsb, "velmora.port.usb")
