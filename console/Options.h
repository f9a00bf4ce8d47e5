#pragma once

#include <QString>
#include <QStringList>

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
    bool who = false;   // only name who holds the target
    bool check = false; // only tell whether the target is current
    // Waits before the run: at random up to randomDelay seconds; between tries, retrySeconds
    // growing by half each time, for up to `retries` more tries.
    double randomDelay = 0;
    int retries = 0;
    double retrySeconds = 30;
    // Public keys (lines or files) whose signatures a release must carry; none: the presets'.
    QStringList trustedKeys;
    // A publish that signs: the secret key file, where its password is, and the release number
    // asked for (0: the next one).
    QString signKey;
    QString signPasswordFile;
    quint64 release = 0;
    // Only report from this log which desk runs which release, as CSV where asked, leaving out
    // desks not seen for more than sinceDays (0: none left out).
    QString report;
    bool csv = false;
    int sinceDays = 0;
    // Said on standard error before the run: where a computer policy replaced the command line.
    QStringList warnings;
};

// The command line read: a run to make; the help or version text to print (exit 0); or a run
// refused for its usage (exit 2), with what could be read of the command line, for the run's
// result line and log line.
struct Parsed {
    enum class Action { Run, Print, Refuse };
    Action action = Action::Run;
    Options options;
    QString text; // Print: the text; Refuse: what is wrong
};

// Reads the arguments (the program name first). A path not given is the one the window would show
// this user: their own stored path, else the administrator's preset. `unreadable`: arguments the
// system gave as bytes that the text does not hold (platform::unreadableArguments()); a run with
// one is refused, and no path read from one is used, not even for the refusal's log.
Parsed parseArguments(const QStringList& arguments, const QStringList& unreadable = {});

} // namespace tarsel::console
