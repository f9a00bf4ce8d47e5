#pragma once

#include "core/RunTimeError.h"

namespace tarsel::test {

// The run-time error number that `action` throws, or 0 when it throws none.
template <typename Action> int errorOf(Action action) {
    try {
        action();
    } catch (const RunTimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace tarsel::test
