#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
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

    // Runs a process query of the form "SELECT * FROM Win32_Process WHERE Name = '<name>'" and
    // returns the matching processes. Throws RunTimeError when the table cannot be read.
    virtual std::vector<ProcessEntry> query(const QString& queryText) = 0;

    // Asks a process listed by the latest query to close by itself, as a user closing it would.
    // True when it could be asked; false when it has nothing to ask (no window), is gone, or is not
    // ours to ask. It may take its time, or not close at all. Never throws.
    virtual bool requestClose(qint64 pid) = 0;

    // Ends a process listed by the latest query at once: 0 when it was ended, otherwise a nonzero
    // error number (a process that has gone meanwhile is one). Never throws.
    virtual int terminate(qint64 pid) = 0;
};

// The image name that a query of the form above asks for. Throws RunTimeError for any other form,
// rather than misread it.
QString queriedProcessName(const QString& queryText);

// The table of the machine the program runs on.
std::unique_ptr<ProcessTable> systemProcessTable();

} // namespace tarsel::platform
