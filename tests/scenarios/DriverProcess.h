#pragma once

#include "support/IdleCopy.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QStringList>

#include <optional>

namespace tarsel::test {

// What the scenario driver printed about its run (see driver/scenario_driver.cpp).
struct DriverReport {
    qint64 pid = 0;
    QString skip; // why the driver could not set the scenario up
    QStringList boxes;
    QString label2;
    bool ended = false;
    bool answers = false;
    QString target;   // MD5 of the target after the run, or "missing"
    QString checksum; // the first line of the target's .sha256, or "missing"
    int staging = -1;
};

// The scenario driver in a child process of its own, started directly or under a wrapper command
// (strace, setpriv, prlimit), with a settings store in `configFolder` and no presets from the
// machine's; the folder also serves as its runtime folder and so wants mode 0700.
class DriverProcess : public Child {
public:
    explicit DriverProcess(const QString& configFolder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), configFolder + QStringLiteral("/system"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), configFolder);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        setProcessEnvironment(env);
    }

    static QString program() {
        // The driver is built beside the test executables.
        return QCoreApplication::applicationDirPath() +
               QStringLiteral("/scenarios/driver/tarsel_scenario_driver");
    }

    void run(const QStringList& wrapper, const QStringList& arguments) {
        QStringList command = wrapper;
        command << program() << arguments;
        start(command.takeFirst(), command);
    }

    // The driver's own process id (not its wrapper's), once printed; 0 when it never is.
    qint64 driverPid(int timeoutMs = 20000) {
        while (!parse().pid && waitForReadyRead(timeoutMs))
            output_ += readAllStandardOutput();
        return parse().pid;
    }

    // The report once the driver has ended normally; nothing when it did not end in time or died.
    std::optional<DriverReport> finish(int timeoutMs = 30000) {
        if (!waitForFinished(timeoutMs) || exitStatus() != NormalExit)
            return std::nullopt;
        output_ += readAllStandardOutput();
        return parse();
    }

    QString errors() { return QString::fromLocal8Bit(readAllStandardError()); }

private:
    DriverReport parse() const {
        DriverReport report;
        for (const QByteArray& line : output_.split('\n')) {
            const qsizetype blank = line.indexOf(' ');
            if (blank < 0)
                continue;
            const QByteArray key = line.left(blank);
            QString text = QString::fromUtf8(line.mid(blank + 1));
            if (key == "pid")
                report.pid = text.toLongLong();
            else if (key == "skip")
                report.skip = text;
            else if (key == "box")
                report.boxes << text.replace(QStringLiteral("\\r"), QStringLiteral("\r"))
                                    .replace(QStringLiteral("\\n"), QStringLiteral("\n"));
            else if (key == "label2")
                report.label2 = text;
            else if (key == "ended")
                report.ended = text == QLatin1String("yes");
            else if (key == "answers")
                report.answers = text == QLatin1String("yes");
            else if (key == "target")
                report.target = text;
            else if (key == "checksum")
                report.checksum = text;
            else if (key == "staging")
                report.staging = text.toInt();
        }
        return report;
    }

    QByteArray output_;
};

} // namespace tarsel::test
