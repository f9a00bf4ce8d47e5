#pragma once

#include "support/TestHost.h"

#include <QFile>
#include <QProcess>
#include <QString>

namespace tarsel::test {

// A child process that ends with the test, without QProcess's warning.
class Child : public QProcess {
public:
    ~Child() override {
        if (state() != NotRunning) {
            kill();
            waitForFinished();
        }
    }
};

// Starts a copy of the idle program, stored in `dir` as `fileName`. With `argv0` it runs under that
// command name instead, as `exec -a` gives it (only where missing(Facility::CommandName) is empty):
// /proc then shows the file name (cut to 15 characters) as comm and `argv0` as the first cmdline
// word. A `deaf` one ignores being asked to close (only where missing(Facility::AskToClose) is
// empty). One `holding` a file keeps it open meanwhile, as startIdleHolding() says; it runs under
// its file name.
inline bool startIdleCopy(QProcess& process, const QString& dir, const QString& fileName,
                          const QString& argv0 = QString(), bool deaf = false,
                          const QString& holding = QString()) {
    const IdleProgram idle = idleProgram();
    const QString copy = dir + QLatin1Char('/') + fileName;
    if (!QFile::exists(copy) && !QFile::copy(idle.path, copy))
        return false;
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!holding.isEmpty())
        return startIdleHolding(process, copy, holding, deaf);
    if (argv0.isEmpty() && !deaf) {
        process.start(copy, idle.arguments);
    } else {
        // An ignored signal stays ignored across exec.
        const QString script = QStringLiteral(R"(%1exec -a "$1" "$0" "${@:2}")")
                                   .arg(deaf ? QStringLiteral("trap '' TERM; ") : QString());
        process.start(QStringLiteral("bash"), QStringList{QStringLiteral("-c"), script, copy,
                                                          argv0.isEmpty() ? copy : argv0} +
                                                  idle.arguments);
    }
    return process.waitForStarted();
}

} // namespace tarsel::test
