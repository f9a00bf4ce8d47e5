#pragma once

#include "core/RunTimeError.h"

#include <QString>

namespace tarsel {

// What the sweep sees of the window: its status line and its error report.
class SweepHost {
public:
    virtual ~SweepHost() = default;
    virtual void setLabel2(const QString& text) = 0;
    virtual void reportError(const RunTimeError& e, const QString& tag) = 0;
};

} // namespace tarsel
