#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <utility>

namespace tarsel::platform {

// An open file and the path it was opened by (named in error reports); closed when it goes out of
// scope. The handle is the system's own: a descriptor on Linux, a HANDLE on Windows. Every failure
// below is a RunTimeError.
class OpenFile {
public:
    OpenFile(qintptr handle, QString path, bool unbuffered = false)
        : handle_(handle), path_(std::move(path)), unbuffered_(unbuffered) {}
    OpenFile(OpenFile&& other) noexcept;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    OpenFile& operator=(OpenFile&&) = delete;
    ~OpenFile();

    qintptr handle() const { return handle_; }
    const QString& path() const { return path_; }
    // Reads bypass the system's cache and must be whole sectors (Windows). readAt reads such a file
    // in large aligned stretches and hands out the parts asked for; one reader at a time.
    bool unbuffered() const { return unbuffered_; }

    // Closes now and reports a failure: some file systems report a failed write only here.
    void close();

private:
    // The stretch of an unbuffered file that readAt read last; only Windows defines it. A
    // shared_ptr, because its deleter is fixed where it is made, so this header needs no
    // definition.
    struct ReadAhead;
    friend qint64 readAt(const OpenFile& file, char* buffer, qint64 length, qint64 offset);

    qintptr handle_;
    QString path_;
    bool unbuffered_;
    mutable std::shared_ptr<ReadAhead> readAhead_;
};

// Opens a regular file for reading from front to back. FIFOs, devices and folders are refused at
// once, without waiting for a writer.
OpenFile openForReading(const QString& path);

// The length of an open file.
qint64 lengthOf(const OpenFile& file);

// What tells whether an open file changed, from its handle: its length, its last-write time and
// its change time, which also moves when the file is written in place with its old times put back,
// renamed, linked or removed (POSIX st_ctim; Windows ChangeTime). Times in the system's own units.
struct FileState {
    qint64 length = 0;
    qint64 modified = 0;
    qint64 changed = 0;
    bool operator==(const FileState&) const = default;
};
FileState stateOf(const OpenFile& file);

// What tells one file from every other, whatever path leads to it: device and inode on Linux,
// volume serial number and file ID on Windows.
struct FileId {
    quint64 device = 0;
    quint64 index = 0;
    bool operator==(const FileId&) const = default;
};

// The file that `path` names, the entry itself (a symbolic link, not what it leads to); none where
// nothing is there or it cannot be looked at.
std::optional<FileId> fileIdOf(const QString& path);

// The file that `path` leads to, through symbolic links; none where nothing is there or it cannot
// be looked at.
std::optional<FileId> resolvedFileIdOf(const QString& path);

// A file's identity, kept true for as long as this lives: on Linux the inode is held (the file
// itself is not opened), so that a file made once it is removed cannot take its number; Windows
// never gives a removed file's ID to another, as its IDs carry a sequence number.
class FileIdHold {
public:
    // The entry at `path` itself, as fileIdOf() gives it; none where nothing is there.
    explicit FileIdHold(const QString& path);
    // The file open as `file`, whatever became of its name.
    explicit FileIdHold(const OpenFile& file);
    FileIdHold(const FileIdHold&) = delete;
    FileIdHold& operator=(const FileIdHold&) = delete;
    ~FileIdHold();

    const std::optional<FileId>& id() const { return id_; }

private:
    std::optional<FileId> id_;
    qintptr handle_ = -1; // on Linux, the O_PATH descriptor that holds the inode
};

// Whether a file can exist under `path` at all: its last name within the file systems' limit (255
// bytes on Linux, 255 UTF-16 units on Windows), and on Linux the whole path within the system's.
bool nameCanExist(const QString& path);

// Reads `length` bytes at `offset`; returns fewer only when the file ends sooner.
qint64 readAt(const OpenFile& file, char* buffer, qint64 length, qint64 offset);

// Writes all `length` bytes at `offset`.
void writeAt(const OpenFile& file, const char* buffer, qint64 length, qint64 offset);

// Has the system copy `length` bytes of `source` at `offset` to the same offset of `target`, so
// that the bytes never pass through this program (Linux: within one file system, or on the server
// of a share). Returns how many it copied; fewer when the source ends sooner, when the system
// cannot or may not copy between these two files (Windows never does; a sandbox may forbid the
// call), or when it failed, which cannot tell whether reading or writing did. The caller then
// copies the rest itself, and its own reads and writes name the file at fault. Never throws.
qint64 systemCopy(const OpenFile& source, const OpenFile& target, qint64 offset, qint64 length);

} // namespace tarsel::platform
