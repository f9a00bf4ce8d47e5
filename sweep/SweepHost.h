#pragma once

#include "core/RunTimeError.h"

namespace tarsel {

// What the sweep tells the face that drives it: a sweep made, or one that failed (told once until a
// sweep succeeds again).
class SweepHost {
public:
    virtual ~SweepHost() = default;
    virtual void swept() = 0;
    virtual void sweepFailed(const RunTimeError& e) = 0;
};

} // namespace tarsel
