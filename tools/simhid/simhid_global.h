#ifndef SIMHID_GLOBAL_H
#define SIMHID_GLOBAL_H

#include <QtCore/qglobal.h>

#if defined(SIMHID_LIBRARY)
#  define SIMHID_EXPORT Q_DECL_EXPORT
#else
#  define SIMHID_EXPORT Q_DECL_IMPORT
#endif

#endif // SIMHID_GLOBAL_H
