#pragma once

#include "platform/Files.h"

#include <QByteArray>
#include <QString>

namespace tarsel::platform {

// A log that runs append their lines to, held open from before a run to its end: what it is can
// be compared with the run's own files before anything is written, and its line goes into that
// very file, whatever becomes of the name meanwhile. Every failure is a RunTimeError.
class AppendLog {
public:
    // Opens the file at `path` for appending. A missing one is made at that name itself, never
    // through a symbolic link that leads nowhere: a link planted beside a log would otherwise make
    // a file wherever it points. Anything but a regular file (a FIFO, a device, a folder) is
    // refused at once, without waiting for a reader.
    explicit AppendLog(const QString& path);
    AppendLog(const AppendLog&) = delete;
    AppendLog& operator=(const AppendLog&) = delete;
    ~AppendLog();

    // The file open, whatever path leads to it.
    const FileId& id() const { return id_; }
    // Whether this opening made the file.
    bool made() const { return made_; }

    // Appends `line` (complete, with its '\n') in one write at the file's end, so that lines that
    // many processes append to one file (also from other computers, on a Windows share) never mix.
    // A line that could not be written whole is taken back where nothing was appended after it:
    // the next run's line must not continue half of this one.
    void append(const QByteArray& line);

    // Closes now and reports a failure: a share may report a failed write only here.
    void close();

private:
    QString path_;
    qintptr handle_ = -1;
    FileId id_;
    bool made_ = false;
};

// Appends `line` to the file at `path` as AppendLog does, and closes it.
void appendLine(const QString& path, const QByteArray& line);

} // namespace tarsel::platform
