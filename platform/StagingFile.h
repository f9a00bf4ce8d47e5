#pragma once

#include "core/RunTimeError.h"
#include "core/Yielder.h"
#include "platform/Files.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace tarsel::platform {

// A staging file's bytes read back as storage holds them, through the run's own open file (on Linux
// its descriptor again, on Windows its handle opened again without buffering): a share that locks
// per handle sees no second open. On Linux each read first waits until the bytes it asks for are
// on storage and drops their cached pages, while the writeback of the next ones is already under
// way, so that reading back overlaps writing out instead of following it; the read that reaches
// the file's end first waits until the whole file is durable. On Windows the whole file is flushed
// before the first read. A read that could not be made so throws RunTimeError.
class StoredCopy {
public:
    // With `yielder`, yields after each wait for a part to reach storage.
    StoredCopy(OpenFile file, qint64 length, bool durable, Yielder* yielder = nullptr);

    const OpenFile& file() const { return file_; }

    // Reads as platform::readAt does, the bytes as storage holds them.
    qint64 readAt(char* buffer, qint64 length, qint64 offset);

private:
    OpenFile file_;
    qint64 length_;
    qint64 stored_ = 0;  // bytes from the start that are on storage, their pages dropped
    qint64 started_ = 0; // bytes from the start whose writeback was started
    bool durable_;       // the whole file, its length and allocation included
    Yielder* yielder_;
};

// A new file in the target's own folder that takes the new release while it is written, stamped and
// verified. Only a complete, verified file is moved over the target, in one atomic rename; until
// then the old target is untouched. The run reads and writes the file through the one handle it
// holds for the file's whole life (under an exclusive advisory lock on Linux where the file system
// has locks; on Windows open without write or delete sharing), so that nobody changes the verified
// bytes, a later run never removes it as an orphan while it is in use, and a share that enforces
// locks per handle (SMB) never sees a second open.
//
// Until the rename only its owner may open it (mode 600; on Windows a protected DACL that lets in
// the runner alone): the release may be for fewer eyes than the folder lets in, and a reader who
// opened the file before it took the old version's rights would keep reading it. The file, and
// every error about it, carries the target's name: that is the name the user gave.
class StagingFile {
public:
    // Creates the file exclusively beside `target`, under an unguessable hidden name derived from
    // the target's name, and reserves room for `length` bytes: a disk too full for them fails
    // here. With `yielder`, yields between the pieces of a large reservation; whatever it throws
    // removes the file again. Throws RunTimeError.
    StagingFile(const QString& target, qint64 length, Yielder* yielder = nullptr);
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;
    // Removes the file unless it was moved over the target.
    ~StagingFile();

    // Where the file is until it is moved over the target.
    const QString& path() const { return path_; }

    // The file as the run writes it, named after the target.
    const OpenFile& file() const { return *file_; }

    // The file's identity, under either name.
    FileId fileId() const { return {device_, index_}; }

    // A path to this very file for as long as it is open, whatever becomes of its name meanwhile:
    // what is stamped through it is what commit() moves, never a file that someone put under our
    // name.
    QString openPath() const;

    // The written bytes, to be read back as storage holds them, not as a cache remembers them
    // (StoredCopy), yielding between the waits for them, so that a large file never freezes the
    // window. Call once the file is written. Throws RunTimeError.
    StoredCopy readBack(Yielder& yielder);

    // Gives the file the rights of the version it replaces (AccessRights.h), or of `rightsOf` where
    // given, moves it over the target, then asks for the rename to be made durable; openPath() then
    // reaches the file under its new name. The file stays hidden until it has the target's name.
    // On Windows a target that another program holds open is tried again for about two seconds,
    // yielding meanwhile. Returns what of those rights the file could not keep, for a warning.
    // Throws RunTimeError when the file cannot be moved; once it is, the run has succeeded.
    std::optional<RunTimeError> commit(Yielder& yielder, const QString& rightsOf = QString());

private:
    QString target_;
    QString path_;
    std::optional<OpenFile> file_;
    quint64 device_ = 0; // the file's identity (FileId)
    quint64 index_ = 0;
    bool committed_ = false;
};

// A file beside a target moved out of its name for the length of a swap, under a staging name:
// put back where the swap did not happen, removed otherwise. Held meanwhile (locked on Linux, open
// without delete sharing on Windows), so that another run's clean-up does not take it for an
// orphan; a run killed meanwhile leaves a staging file that a later run removes.
class SetAside {
public:
    // Moves the file or symbolic link at `path` aside; anything else, or nothing, stays where it
    // is. Throws RunTimeError naming `path` when it cannot be moved.
    explicit SetAside(const QString& path);
    SetAside(const SetAside&) = delete;
    SetAside& operator=(const SetAside&) = delete;
    // Removes it, unless it was put back.
    ~SetAside();

    // Gives it its name again, unless something else took that name meanwhile.
    void putBack();

private:
    QString path_;
    QString aside_; // where it is; empty when nothing is aside
    qintptr handle_ = -1;
    FileId id_;
    quint32 attributes_ = 0; // on Windows, what it had before it was hidden
};

// Removes the file at `path` if it still is the file `id`, never one that took its name since.
void removeIfSame(const QString& path, const FileId& id);

// A fresh hidden name for a staging file of the target named `targetName`: "." + that name,
// shortened so that the whole fits a file system's 255-byte limit, + ".tarsel-" + 12 random
// letters and digits.
QString stagingName(const QString& targetName);

// True when `name` has exactly the form stagingName() gives.
bool isStagingName(const QString& name);

// Removes staging files left beside `target` by runs that were killed: regular files of ours that
// no running copy holds locked and that nothing has written to for OrphanAgeMs. A lock is not
// enough on its own: on a share two computers may not see each other's locks, and a file system
// without locks (NFS without its lock service) leaves the age alone to decide. Never follows a
// symbolic link.
constexpr qint64 OrphanAgeMs = 10 * 60 * 1000;
void removeOrphanedStagingFiles(const QString& target);

// A staging file beside a target that some other run made.
struct StagingLeftover {
    QString name;
    qint64 bytesOnDisk = 0;  // what it takes on the disk, reserved room included
    QDateTime removableFrom; // local time from which the age rule lets a run remove it
};

// The staging files beside `target` (of any target in its folder), in name order.
std::vector<StagingLeftover> stagingLeftovers(const QString& target);

// True when both paths name the same existing file (same path, hard link or symbolic link).
bool sameFile(const QString& a, const QString& b);

// True when `path` names something that is neither a regular file nor a symbolic link (a folder, a
// device, a FIFO): a release can never be put in its place.
bool isNonFileEntry(const QString& path);

} // namespace tarsel::platform
