#include "quietline.h"

// Windows has no pseudo-terminals; a COM port that run.sh maps to the Linux side's
// is a line of that side, not an idle one of this process.
QuietLine::QuietLine()
    : m_error(QStringLiteral("no pseudo-terminals on Windows"))
{
}

QuietLine::~QuietLine() = default;
