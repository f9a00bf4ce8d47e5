#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarsel::console {

// What tarselcopy was asked to do.
struct Options {
    QString source;
    QString target;
    QString logFile; // empty: no log
    bool ifChanged = false;
    bool endAccess = false;
    bool open = false;
    bool quiet = false;
};

// The command line read, or what to say instead of running: the help or version text (to standard
// output, exit 0) or a usage error (to standard error, exit 2).
struct Parsed {
    std::optional<Options> options;
    QString text;
    int exitCode = 0;
};

// Reads the arguments (the program name first). A path not given is the one the window would show
// this user: their own stored path, else the administrator's preset.
Parsed parseArguments(const QStringList& arguments);

} // namespace tarsel::console
