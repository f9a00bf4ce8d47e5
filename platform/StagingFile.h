#pragma once

#include "platform/Yielder.h"

#include <QString>
#include <QtGlobal>

namespace tarsel::platform {

// A new file in the target's own folder that takes the new release while it is written, stamped and
// verified. Only a complete, verified file is moved over the target, in one atomic rename; until
// then the old target is untouched. The file is held for its whole life (under an exclusive
// advisory lock on Linux, open without delete sharing on Windows) so that a later run never
// removes it as an orphan while it is in use.
class StagingFile {
public:
    // Creates the file exclusively beside `target`, under an unguessable hidden name derived from
    // the target's name, with the mode a new file gets. Throws RunTimeError.
    explicit StagingFile(const QString& target);
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;
    // Removes the file unless it was moved over the target.
    ~StagingFile();

    const QString& path() const { return path_; }

    // A path to this very file for as long as it is open, whatever becomes of its name meanwhile:
    // what is stamped or verified through it is what commit() moves, never a file that someone put
    // under our name.
    QString openPath() const;

    // Puts the written bytes on storage and drops them from the page cache, so that a verification
    // reads back what storage holds. Flushes a slice at a time and yields between slices, so that a
    // large file never freezes the window. Throws RunTimeError.
    void flushAndDropCache(Yielder& yielder);

    // Moves the file over the target, then asks for the rename to be made durable; openPath() then
    // reaches the file under its new name. On Windows a target that another program holds open is
    // tried again for about two seconds, yielding meanwhile. Throws RunTimeError when the file
    // cannot be moved; once it is, the run has succeeded.
    void commit(Yielder& yielder);

private:
    QString target_;
    QString path_;
    qintptr handle_ = -1;
    quint64 device_ = 0; // the file's identity: device and inode on Linux
    quint64 index_ = 0;
    bool committed_ = false;
};

// A fresh hidden name for a staging file of the target named `targetName`: "." + that name,
// shortened so that the whole fits a file system's 255-byte limit, + ".tarsel-" + 12 random
// letters and digits.
QString stagingName(const QString& targetName);

// True when `name` has the form of a staging file's name.
bool isStagingName(const QString& name);

// Removes staging files left beside `target` by runs that were killed: regular files of ours that
// no running copy holds locked. Never follows a symbolic link.
void removeOrphanedStagingFiles(const QString& target);

// True when both paths name the same existing file (same path, hard link or symbolic link).
bool sameFile(const QString& a, const QString& b);

// True when `path` names something that is neither a regular file nor a symbolic link (a folder, a
// device, a FIFO): a release can never be put in its place.
bool isNonFileEntry(const QString& path);

} // namespace tarsel::platform
