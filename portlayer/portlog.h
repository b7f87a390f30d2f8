#ifndef PORTLOG_H
#define PORTLOG_H

#include "porvane_internal.h"

#include <QLoggingCategory>

// The transports' debug lines, one category per medium under "velmora.port", so
// that a host silences them, or one medium, with a logging rule
// ("velmora.*.debug=false") and keeps its own output. The category names are
// what hosts rely on; these functions are the library's own.
PORVANE_INTERNAL const QLoggingCategory &lcPort(); // code the media share
PORVANE_INTERNAL const QLoggingCategory &lcPortSerial();
PORVANE_INTERNAL const QLoggingCategory &lcPortUdp();
PORVANE_INTERNAL const QLoggingCategory &lcPortUsb();

#endif // PORTLOG_H
