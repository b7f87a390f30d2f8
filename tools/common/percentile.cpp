#include "percentile.h"

#include <algorithm>
#include <cmath>

namespace Percentile {

quint64 rank(quint64 count, double share)
{
    return std::max<quint64>(1, quint64(std::ceil(std::clamp(share, 0.0, 1.0) * double(count))));
}

double of(std::vector<double> values, double share)
{
    if (values.empty())
        return -1;
    const auto at = values.begin() + std::ptrdiff_t(rank(values.size(), share) - 1);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

} // namespace Percentile
