#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What a program run from a terminal, a script or a scheduler needs of the system.
namespace tarsel::platform {

// Makes the standard streams safe to write to, whatever the program was started with; called first
// thing, before anything is opened. A closed one is opened on the null device: otherwise the first
// file the program opens would take its place, and output meant for the stream would land in that
// file. A write to a pipe that nobody reads fails instead of ending the program (SIGPIPE). Windows
// hands out no stream's slot to a file, and has no such signal: nothing to do there.
void prepareStandardStreams();

// Whether standard error is a terminal or console window, where a line that rewrites itself with
// '\r' shows progress; not for a file, a pipe or the null device.
bool stderrIsTerminal();

// From now on an interrupt does not end the process but is noted, for the run to cancel and clean
// up: Ctrl+C, SIGTERM and SIGHUP on Linux, but for SIGINT and SIGHUP where they were ignored when
// the program started (nohup, a script's `&`), which stay ignored; Ctrl+C, Ctrl+Break, the console
// window closed and the end of the session on Windows. On Linux a call that blocks when the
// interrupt comes (a write to a pipe nobody drains, an open that waits) returns at once with EINTR
// instead of going on: no blocking call outlives an interrupt. Windows ends the process as soon as
// it has told it of a closed window or an ending session, so there the notice waits (about 4 s at
// most) for interruptHandled().
void catchInterrupts();

// Whether an interrupt has come since catchInterrupts().
bool interrupted();

// The program has cleaned up after an interrupt: a waiting notice may let the system go on.
void interruptHandled();

// The arguments (argv[0] aside) that the program's text cannot hold, as it reads them: on Linux
// those whose bytes are no UTF-8, where a byte that cannot be read becomes U+FFFD and the name
// then leads to another file; none on Windows, which hands its programs text.
QStringList unreadableArguments(int argc, char** argv);

// The name of the account that runs the program; on Linux its number when it has no name, and
// empty when the system cannot tell.
QString userName();

// Asks on the terminal the program runs in (Linux's /dev/tty, Windows' console), not on its
// standard streams, which a script may have redirected, and reads one line without showing it:
// the line as typed, in UTF-8, without its line end; the caller wipes it. None where there is no
// terminal. Throws RunTimeError (ErrorKind::UserInterrupt) when an interrupt ends the reading.
std::optional<QByteArray> readSecretLine(const QString& prompt);

} // namespace tarsel::platform
