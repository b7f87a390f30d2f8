#ifndef QUILLET_GLOBAL_H
#define QUILLET_GLOBAL_H

#include <QtCore/qglobal.h>

#if defined(QUILLET_LIBRARY)
#  define QUILLET_EXPORT Q_DECL_EXPORT
#else
#  define QUILLET_EXPORT Q_DECL_IMPORT
#endif

#endif // QUILLET_GLOBAL_H
