#include "threadlesschild.h"

namespace ThreadlessChild {

// Windows has neither fork nor a per-user process limit to take threads away with.
bool available()
{
    return false;
}

bool run(const std::function<int()> &, QString *failure)
{
    *failure = QStringLiteral("no forked child without threads on Windows");
    return false;
}

} // namespace ThreadlessChild
