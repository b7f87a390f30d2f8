#ifndef ENVIRONMENTDEVICES_H
#define ENVIRONMENTDEVICES_H

#include <QString>

// Simulated devices that a program started with this library preloaded finds on
// the bus, described by the environment variable VELMORA_SIMHID: devices
// separated by ";", each "VVVV:PPPP" (hexadecimal ids) followed by any number of
// "/FAULT=CMD[:N]" (misbehave on command CMD, the next N times or always) or
// "/FAULT" (on every command), with the fault names of the simdevice program:
//
//   VELMORA_SIMHID="4c56:0105/silent=0x42:1/silent=0x43/pieces=0x77"
namespace EnvironmentDevices {

constexpr const char kVariable[] = "VELMORA_SIMHID";

// Attaches the devices the variable describes, once per process; the first
// hidapi call that looks at the bus makes it. A description that does not parse
// is reported on stderr and attaches nothing.
void attachOnce();

} // namespace EnvironmentDevices

#endif // ENVIRONMENTDEVICES_H
