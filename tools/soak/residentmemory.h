#ifndef RESIDENTMEMORY_H
#define RESIDENTMEMORY_H

#include <QtGlobal>

namespace ResidentMemory {

// The process's resident memory in KiB; 0 where the system does not say.
qint64 currentKb();

} // namespace ResidentMemory

#endif // RESIDENTMEMORY_H
