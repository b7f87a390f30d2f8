#ifndef DISPATCHLOG_H
#define DISPATCHLOG_H

#include <QLoggingCategory>

// The dispatcher's debug lines, so that a host silences them with a logging rule
// ("velmora.dispatch.debug=false") and keeps its own output.
Q_DECLARE_LOGGING_CATEGORY(lcDispatch)

#endif // DISPATCHLOG_H
