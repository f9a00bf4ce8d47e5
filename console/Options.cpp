#include "console/Options.h"

#include "console/ExitCode.h"
#include "settings/Module1.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace tarsel::console {

namespace {

QString storedPath(const QString& valueName) {
    return RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, valueName).value_or(QString());
}

const QString Synopsis = QStringLiteral(
    "Usage: tarselcopy [--source PATH] [--target PATH] [--if-changed] [--end-access] [--open]\n"
    "                  [--log FILE] [--quiet]\n"
    "       tarselcopy --help | --version\n");

Parsed usageError(const QString& message) {
    return {std::nullopt,
            QStringLiteral("tarselcopy: ") + message +
                QStringLiteral("\nTry 'tarselcopy --help' for more information.\n"),
            ExitCode::Usage};
}

} // namespace

Parsed parseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Puts a new release of a front-end file into service, unattended: copies it beside the "
        "file that people run, verifies the copy byte for byte and only then moves it into "
        "place."));
    const QCommandLineOption source(
        QStringLiteral("source"),
        QStringLiteral("The new release (default: the path the window shows this user)."),
        QStringLiteral("PATH"));
    const QCommandLineOption target(
        QStringLiteral("target"),
        QStringLiteral("The file that people run (default: the path the window shows this user)."),
        QStringLiteral("PATH"));
    const QCommandLineOption ifChanged(
        QStringLiteral("if-changed"),
        QStringLiteral("Do nothing when the target already is this release (same length, "
                       "creation date one minute after the release's modification date)."));
    const QCommandLineOption endAccess(
        QStringLiteral("end-access"),
        QStringLiteral("First end this user's Microsoft Access processes (asked to close, then "
                       "ended)."));
    const QCommandLineOption open(
        QStringLiteral("open"),
        QStringLiteral("Afterwards open the target with its associated program, also when the "
                       "run failed but the old version is whole in place."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append one tab-separated line per run to FILE."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress line on standard error."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({source, target, ifChanged, endAccess, open, log, quiet, help, version});
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '") +
                          parser.positionalArguments().first() + QStringLiteral("'"));
    if (parser.isSet(help)) {
        // Qt's first line names the program file; the synopsis says more.
        const QString text = parser.helpText();
        return {std::nullopt,
                Synopsis + text.mid(text.indexOf(QLatin1Char('\n')) + 1) + QLatin1Char('\n') +
                    exitCodeTable(),
                ExitCode::Ok};
    }
    if (parser.isSet(version))
        return {std::nullopt,
                QStringLiteral("tarselcopy ") + QCoreApplication::applicationVersion() +
                    QLatin1Char('\n'),
                ExitCode::Ok};

    Options options;
    options.source = parser.isSet(source) ? parser.value(source) : storedPath(NewVersionLocation);
    options.target =
        parser.isSet(target) ? parser.value(target) : storedPath(RunningVersionLocation);
    options.logFile = parser.value(log);
    options.ifChanged = parser.isSet(ifChanged);
    options.endAccess = parser.isSet(endAccess);
    options.open = parser.isSet(open);
    options.quiet = parser.isSet(quiet);
    if (options.source.isEmpty())
        return usageError(QStringLiteral("no release: give --source, or store one in the window"));
    if (options.target.isEmpty())
        return usageError(QStringLiteral("no target: give --target, or store one in the window"));
    if (parser.isSet(log) && options.logFile.isEmpty())
        return usageError(QStringLiteral("--log needs a file"));
    return {options, QString(), ExitCode::Ok};
}

} // namespace tarsel::console
