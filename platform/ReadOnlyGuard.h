#pragma once

#include <QString>

namespace tarsel::platform {

// Clears the read-only attribute of the old release while a run works on it, and puts it back
// unless the run put a new release in its place. A symbolic link is left alone: the file it points
// to is never ours to change. Throws RunTimeError when the attribute cannot be read or cleared.
class ReadOnlyGuard {
public:
    explicit ReadOnlyGuard(const QString& path);
    ReadOnlyGuard(const ReadOnlyGuard&) = delete;
    ReadOnlyGuard& operator=(const ReadOnlyGuard&) = delete;
    ~ReadOnlyGuard();

    void dismiss() { restore_ = false; }

private:
    int fd_ = -1; // open while the attribute is cleared
    unsigned mode_ = 0;
    bool restore_ = true;
};

} // namespace tarsel::platform
