#pragma once

#include <QString>

#include <array>

namespace tarsel::platform {

// The events the console program writes to the system's event log at the end of each run: on
// Windows the Application log, source "TarselCopyFile". Their ids are those of the message table
// compiled into tarselcopy.exe (console/TarselCopyEvents.mc) and never change: filters and
// forwarding rules on many computers name them.
enum class RunEventId : unsigned short {
    Updated = 1,
    Current = 2,
    Failed = 3,
    Cancelled = 4,
    Refused = 5, // the command line was refused (exit code 2)
};

inline constexpr std::array RunEventIds{RunEventId::Updated, RunEventId::Current,
                                        RunEventId::Failed, RunEventId::Cancelled,
                                        RunEventId::Refused};

// The insertion strings of every run event, in this order: %1 to %7 of each message, and the
// event's data in this order for a forwarding rule or a script. Every message uses all of them, so
// that a message never refers to a string the event does not carry.
enum RunEventString {
    EventTarget,
    EventSource,
    EventExitCode,
    EventBytes,
    EventSeconds,
    EventError,
    EventInService, // the version in service at the target afterwards
};
inline constexpr int RunEventStringCount = 7;

struct RunEvent {
    RunEventId id = RunEventId::Failed;
    bool error = true; // an error event; an information event otherwise
    std::array<QString, RunEventStringCount> strings;
};

// Writes the event, or throws a RunTimeError where the system's log takes none. Does nothing on a
// system whose service manager keeps the program's output instead (systemd's journal).
void reportRunEvent(const RunEvent& event);

} // namespace tarsel::platform
