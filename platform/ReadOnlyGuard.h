#pragma once

#include <QString>

namespace tarsel::platform {

// Clears the read-only attribute of the old release for the moment the new one is moved over it
// (Windows refuses to replace a read-only file), and puts it back unless the new release took its
// place. Whatever the old release's other attributes (hidden, system), and nothing at all when
// there is no old release. A symbolic link is left alone: the file it points to is never ours to
// change. Throws RunTimeError when the attribute cannot be read or cleared.
class ReadOnlyGuard {
public:
    explicit ReadOnlyGuard(const QString& path);
    ReadOnlyGuard(const ReadOnlyGuard&) = delete;
    ReadOnlyGuard& operator=(const ReadOnlyGuard&) = delete;
    ~ReadOnlyGuard();

    void dismiss() { restore_ = false; }

private:
    QString path_;
    qintptr handle_ = -1; // on Linux, open while the attribute is cleared
    quint32 saved_ = 0;   // what is put back: the mode on Linux, the attributes on Windows
    bool restore_ = true;
};

} // namespace tarsel::platform
