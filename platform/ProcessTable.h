#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

namespace tarsel::platform {

struct ProcessEntry {
    qint64 pid;
    QString name; // the image name, e.g. "MSACCESS.EXE"
};

// The running processes, as the management service shows them.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;

    // Runs a process query of the form "SELECT * FROM Win32_Process WHERE Name = '<name>'" and
    // returns the matching processes. Throws RunTimeError when the table cannot be read.
    virtual std::vector<ProcessEntry> query(const QString& queryText) = 0;

    // Ends a process listed by the latest query: 0 when it was ended, otherwise a nonzero error
    // number (a process that has gone meanwhile is one). Never throws.
    virtual int terminate(qint64 pid) = 0;
};

// The image name that a query of the form above asks for. Throws RunTimeError for any other form,
// rather than misread it.
QString queriedProcessName(const QString& queryText);

// The table of the machine the program runs on.
std::unique_ptr<ProcessTable> systemProcessTable();

} // namespace tarsel::platform
