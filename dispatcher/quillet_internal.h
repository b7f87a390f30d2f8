#ifndef QUILLET_INTERNAL_H
#define QUILLET_INTERNAL_H

#include "quillet_global.h"

// Marks what the library keeps to itself (the detached-job runner): its header is
// not installed and the ABI check leaves it out. Exported all the same, because
// this tree's tests link it, and a Windows DLL lets a program link only what it
// exports.
#define QUILLET_INTERNAL QUILLET_EXPORT

#endif // QUILLET_INTERNAL_H
