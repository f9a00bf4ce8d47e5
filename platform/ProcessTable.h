#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <vector>

namespace tarsel::platform {

struct ProcessEntry {
    qint64 pid;
    QString name;      // the image name, e.g. "MSACCESS.EXE"
    quint64 started{}; // when it started, on the table's own clock: with the pid it names one
                       // process for good, where the pid alone may pass to another; 0 when unknown
    bool ownedByUser = false; // runs under the account running this program
};

// The running processes, as the management service shows them.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;

    // The processes whose image name is `image`, compared without regard to case, as the
    // management service lists them (Win32_Process.Name). Throws RunTimeError when the table
    // cannot be read.
    virtual std::vector<ProcessEntry> processesNamed(const QString& image) = 0;

    // The processes on this computer that hold any of `paths` open, of any image and any user, each
    // once and never this program's own, listed as processesNamed() lists its processes. A path
    // that does not exist, that cannot be looked at, or that is a folder is held by nobody, and the
    // answer for the others stands. Nothing only where the system truly cannot tell who holds them
    // (on Linux a /proc that cannot be read; on Windows a Restart Manager that fails, or lists
    // nobody while the first file is held): the caller then falls back on its own rule. Programs
    // on other computers holding a file on a share are not seen. Never throws.
    //
    // The latest of processesNamed() and of a holdersOf() that answered makes the listing that
    // requestClose() and terminate() below act on; one that cannot tell leaves it as it was.
    virtual std::optional<std::vector<ProcessEntry>> holdersOf(const QStringList& paths) = 0;

    // False where the latest holdersOf() could not look into the programs of other accounts (on
    // Linux their descriptors, unless run as root): a holder among them was not seen. The Restart
    // Manager lists the holders of every account.
    virtual bool sawOtherAccounts() const { return true; }

    // Asks a process of the latest listing to close by itself, as a user closing it would.
    // True when it could be asked; false when it has nothing to ask (no window), is gone, or is not
    // ours to ask. It may take its time, or not close at all. Never throws.
    virtual bool requestClose(qint64 pid) = 0;

    // Ends a process of the latest listing at once: 0 when it was ended, otherwise a nonzero
    // error number (a process that has gone meanwhile is one). Never throws.
    virtual int terminate(qint64 pid) = 0;
};

// The table of the machine the program runs on.
std::unique_ptr<ProcessTable> systemProcessTable();

} // namespace tarsel::platform
