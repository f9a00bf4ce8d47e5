#include "copy/Percent.h"

#include <algorithm>
#include <cmath>

namespace tarsel {

double wholePercent(double value) {
    // nearbyint rounds in the default mode, to nearest with halves to even.
    return std::min(std::nearbyint(value), 100.0);
}

} // namespace tarsel
