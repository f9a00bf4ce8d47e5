#pragma once

namespace tarsel {

// A progress value as the bar shows it: the nearest whole number, an exact half going to the even
// neighbour (12.5 gives 12, 37.5 gives 38), never above 100.
double wholePercent(double value);

} // namespace tarsel
