// The p-quantile (0 < p <= 1) of a non-empty list of figures: the smallest value that at least
// p of them do not exceed.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace tw {

inline double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const std::size_t k = std::min(v.size() - 1, std::size_t(std::ceil(p * v.size())) - 1);
    return v[k];
}

} // namespace tw
