#pragma once

namespace tarsel {

// Lets the window's event loop handle every pending event, then returns.
class Yielder {
public:
    virtual ~Yielder() = default;
    virtual void yield() = 0;
};

} // namespace tarsel
