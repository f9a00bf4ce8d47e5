#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
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

// Starts a copy of sleep(1), stored in `dir` as `fileName`, for a minute. With `argv0` it runs
// under that command name instead, as `exec -a` gives it: /proc then shows the file name (cut
// to 15 characters) as comm and `argv0` as the first cmdline word.
inline bool startSleepCopy(QProcess& process, const QString& dir, const QString& fileName,
                           const QString& argv0 = QString()) {
    const QString copy = dir + QLatin1Char('/') + fileName;
    if (!QFile::exists(copy) &&
        !QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), copy))
        return false;
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (argv0.isEmpty())
        process.start(copy, {QStringLiteral("60")});
    else
        process.start(
            QStringLiteral("bash"),
            {QStringLiteral("-c"), QStringLiteral("exec -a \"$1\" \"$0\" 60"), copy, argv0});
    return process.waitForStarted();
}

} // namespace tarsel::test
