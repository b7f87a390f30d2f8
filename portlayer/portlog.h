#ifndef PORTLOG_H
#define PORTLOG_H

#include "porvane_global.h"

#include <QLoggingCategory>

// The transports' debug lines, one category per medium under "velmora.port", so
// that a host silences them, or one medium, with a logging rule
// ("velmora.*.debug=false") and keeps its own output. Exported: the parser's
// settings name their category in a public header.
PORVANE_EXPORT const QLoggingCategory &lcPort(); // code the media share
PORVANE_EXPORT const QLoggingCategory &lcPortSerial();
PORVANE_EXPORT const QLoggingCategory &lcPortUdp();
PORVANE_EXPORT const QLoggingCategory &lcPortUsb();

#endif // PORTLOG_H
