#ifndef PORVANE_INTERNAL_H
#define PORVANE_INTERNAL_H

#include "porvane_global.h"

// Marks what the library keeps to itself: the parser, its buffer, the reply
// hand-off, the codecs, the rules. Their headers are not installed and the ABI
// check leaves them out, so they may change in any release. Their symbols are
// exported all the same, because this tree's tools, benchmarks and tests link
// them, and a Windows DLL lets a program link only what it exports.
#define PORVANE_INTERNAL PORVANE_EXPORT

#endif // PORVANE_INTERNAL_H
