#ifndef PORVANE_GLOBAL_H
#define PORVANE_GLOBAL_H

#include <QtCore/qglobal.h>

#if defined(PORVANE_LIBRARY)
#  define PORVANE_EXPORT Q_DECL_EXPORT
#else
#  define PORVANE_EXPORT Q_DECL_IMPORT
#endif

#endif // PORVANE_GLOBAL_H
