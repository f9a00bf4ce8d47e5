#pragma once

#include <QString>

namespace tarsel::platform {

// Clears the read-only attribute of the old release for the moment the new one is moved over it
// (Windows refuses to replace a read-only file, and so may a share on Linux), and puts it back on
// the old release when destroyed, whether the new release took its name or not: the old file may
// live on under another name, a hard link kept as a backup. Whatever the old release's other
// attributes (hidden, system), and nothing at all when there is no old release. A symbolic link is
// left alone: the file it points to is never ours to change. Throws RunTimeError when the
// attribute cannot be read or cleared.
class ReadOnlyGuard {
public:
    explicit ReadOnlyGuard(const QString& path);
    ReadOnlyGuard(const ReadOnlyGuard&) = delete;
    ReadOnlyGuard& operator=(const ReadOnlyGuard&) = delete;
    ~ReadOnlyGuard();

private:
    QString path_;
    qintptr handle_ = -1; // on Linux, open on the old release while the attribute is cleared
    quint32 saved_ = 0;   // what is put back: the mode on Linux, the attributes on Windows
    quint32 volume_ = 0;  // on Windows, the identity of the file that was cleared
    quint64 index_ = 0;
};

} // namespace tarsel::platform
