#include "floodrows.h"

#include <cstdio>

namespace FloodRows {

// The floods are sent from raw sockets and the memory read from /proc, which
// Windows has neither of.
void print()
{
    std::printf("\nfloods: not measured on Windows (raw sockets, /proc)\n");
}

} // namespace FloodRows
