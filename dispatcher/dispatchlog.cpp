#include "dispatchlog.h"

Q_LOGGING_CATEGORY(lcDispatch, "velmora.dispatch")
