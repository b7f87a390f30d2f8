#ifndef SIMFAULTNAMES_H
#define SIMFAULTNAMES_H

#include "simprofile.h"

#include <QString>

// The faults by the names the simdevice program's options and the simulated HID
// bus's environment use.
namespace SimFaultNames {

struct Entry
{
    const char *name;
    SimFault fault;
    // True: given with a command code (the program's per-command options).
    bool perCommand;
    const char *description;
};

extern const Entry kEntries[];
extern const int kCount;

// The fault of that name; false for an unknown name.
bool find(const QString &name, SimFault *fault);

// "42", "0x42" or "0x42:1" (only the next one such command): the code, in
// hexadecimal with or without 0x, and how many times (decimal), -1 for every time.
bool parseTarget(const QString &text, quint8 *cmd, int *times);

} // namespace SimFaultNames

#endif // SIMFAULTNAMES_H
