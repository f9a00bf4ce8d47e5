#include "console/Options.h"

#include "console/ExitCode.h"
#include "console/LogPlace.h"
#include "platform/Paths.h"
#include "settings/Module1.h"
#include "settings/RunPolicy.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <optional>
#include <tuple>

namespace tarsel::console {

namespace {

QString storedPath(const QString& valueName) {
    return RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, valueName).value_or(QString());
}

const QString Synopsis = QStringLiteral(
    "Usage: tarselcopy [--source PATH] [--target PATH] [--if-changed] [--end-access] [--open]\n"
    "                  [--log FILE] [--quiet] [--trusted-key KEY-OR-FILE]...\n"
    "                  [--random-delay SECONDS] [--retry N[:SECONDS]]\n"
    "       tarselcopy --sign-key FILE [--sign-password-file FILE] [--release N]\n"
    "                  --source BUILD --target MASTER\n"
    "       tarselcopy --check [--source PATH] [--target PATH] [--log FILE]\n"
    "                  [--trusted-key KEY-OR-FILE]...\n"
    "       tarselcopy --who [--target PATH]\n"
    "       tarselcopy --report LOG [--source MASTER] [--since DAYS] [--csv]\n"
    "       tarselcopy --help | --version\n");

// Longer than any logon would wait for its front end: a value past it is a typo.
constexpr double MaxDelaySeconds = 86400;
constexpr int MaxRetries = 100;
constexpr double MaxRetrySeconds = 3600;

// A number of seconds as people write it ("90", "0.5"), from 0 to `max`; none for anything else
// (a sign, an exponent, "inf").
std::optional<double> secondsIn(const QString& text, double max) {
    static const QRegularExpression plain(QStringLiteral(R"(^\d{1,9}(\.\d{1,9})?$)"));
    if (!plain.match(text).hasMatch())
        return std::nullopt;
    const double seconds = text.toDouble();
    return seconds <= max ? std::optional(seconds) : std::nullopt;
}

// Reads --retry's N[:SECONDS] into the options; false for anything else.
bool readRetry(const QString& text, Options& options) {
    static const QRegularExpression form(QStringLiteral(R"(^(\d{1,3})(?::([^:]*))?$)"));
    const QRegularExpressionMatch match = form.match(text);
    const std::optional<double> seconds = match.hasCaptured(2)
                                              ? secondsIn(match.captured(2), MaxRetrySeconds)
                                              : std::optional(options.retrySeconds);
    if (!match.hasMatch() || match.captured(1).toInt() > MaxRetries || !seconds)
        return false;
    options.retries = match.captured(1).toInt();
    options.retrySeconds = *seconds;
    return true;
}

QString retryRefusal(const QString& text) {
    return QStringLiteral("--retry takes N[:SECONDS], N from 0 to %1 and SECONDS from 0 to %2, "
                          "not '%3'")
        .arg(MaxRetries)
        .arg(MaxRetrySeconds)
        .arg(text);
}

QString delayRefusal(const QString& text) {
    return QStringLiteral("--random-delay takes a number of seconds from 0 to %1, not '%2'")
        .arg(MaxDelaySeconds)
        .arg(text);
}

// What the command line gave of the options a computer policy may set: their texts, "1" for a
// switch.
struct Given {
    std::optional<QString> ifChanged, endAccess, randomDelay, retry;
    bool trustedKeys = false;
};

// The computer's policy's text for an option where the run takes it: where it is set and the
// command line gives none or may not override it; a warning where it replaces another.
std::optional<QString> policyText(const QString& name, const std::optional<QString>& commandLine,
                                  const QString& option, QStringList& warnings) {
    const Policy policy = computerPolicy(name);
    if (!policy.value || (commandLine && policy.commandLineOverrides))
        return std::nullopt;
    if (commandLine && *commandLine != *policy.value)
        warnings << QStringLiteral("the computer's policy %1 sets %2 to '%3': the command line's "
                                   "'%4' is not used")
                        .arg(name, option, *policy.value, *commandLine);
    return policy.value;
}

// Takes what the computer's policies set of a run where the command line gives nothing or may not
// override them: the trusted keys for anything that reads releases, the rest for a run alone (not
// --check or a publish). Returns why the options cannot be run, or nothing.
QString applyPolicies(Options& options, const Given& given) {
    if (options.who)
        return QString();
    const auto taken = [&](const QString& name, const std::optional<QString>& commandLine,
                           const QString& option) {
        return policyText(name, commandLine, option, options.warnings);
    };
    const auto refusal = [](const QString& name, const QString& why) {
        return QStringLiteral("the computer's policy %1: %2").arg(name, why);
    };
    // Given keys give way to the policy's, which the run then reads as every preset.
    if (taken(TrustedKeys,
              given.trustedKeys ? std::optional(options.trustedKeys.join(u' ')) : std::nullopt,
              QStringLiteral("--trusted-key")))
        options.trustedKeys.clear();
    if (options.check || !options.signKey.isEmpty())
        return QString();
    for (const auto& [name, commandLine, option, value] :
         {std::tuple(IfChangedPolicy, given.ifChanged, QStringLiteral("--if-changed"),
                     &options.ifChanged),
          std::tuple(EndAccessPolicy, given.endAccess, QStringLiteral("--end-access"),
                     &options.endAccess)}) {
        if (const std::optional<QString> text = taken(name, commandLine, option)) {
            if (*text != u'1' && *text != u'0')
                return refusal(name, QStringLiteral("'%1' is neither 1 nor 0").arg(*text));
            *value = *text == u'1';
        }
    }
    if (const std::optional<QString> text =
            taken(RandomDelayPolicy, given.randomDelay, QStringLiteral("--random-delay"))) {
        const std::optional<double> seconds = secondsIn(*text, MaxDelaySeconds);
        if (!seconds)
            return refusal(RandomDelayPolicy, delayRefusal(*text));
        options.randomDelay = *seconds;
    }
    if (const std::optional<QString> text =
            taken(RetryPolicy, given.retry, QStringLiteral("--retry"))) {
        if (!readRetry(*text, options))
            return refusal(RetryPolicy, retryRefusal(*text));
    }
    return QString();
}

Parsed refused(const Options& options, const QString& message) {
    return {Parsed::Action::Refuse, options, message};
}

} // namespace

Parsed parseArguments(const QStringList& arguments, const QStringList& unreadable) {
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
        QStringLiteral("Do nothing when the target already is this release: where both have a "
                       ".sha256 (the release's written since the release last changed), the same "
                       "digest, whatever the target's length; otherwise the same length and a "
                       "creation date one minute after the release's modification date."));
    const QCommandLineOption endAccess(
        QStringLiteral("end-access"),
        QStringLiteral("Once the copy is verified, just before the swap, end this user's "
                       "Microsoft Access processes that hold the target or its lock file (asked "
                       "to close, then ended; each named); a run that fails earlier or a current "
                       "target ends nothing."));
    const QCommandLineOption open(
        QStringLiteral("open"),
        QStringLiteral("Afterwards open the target with its associated program, also when the "
                       "run failed but the old version is whole in place."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append one tab-separated line per run to FILE."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption who(
        QStringLiteral("who"),
        QStringLiteral("Copy nothing: print who holds the target, one line per program on this "
                       "computer and per computer its Access lock file records."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Copy nothing, end nothing: print 'current TARGET' or 'behind TARGET' "
                       "with the release in service and the master's, by the test of "
                       "--if-changed; exit 0 when current, 1 when behind."));
    const QCommandLineOption randomDelay(
        QStringLiteral("random-delay"),
        QStringLiteral("Before the run (and the test of --if-changed), wait a time picked at "
                       "random up to SECONDS, so that many desks do not read the share at once; "
                       "Ctrl+C or SIGTERM cancels the wait."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption retry(
        QStringLiteral("retry"),
        QStringLiteral("Try a run refused for a reason that may pass (a release being published "
                       "or not reachable yet, a target held, a read or verification error) up to "
                       "N times more, waiting SECONDS (default 30) and half as long again each "
                       "time; one result and log line say how many tries it took."),
        QStringLiteral("N[:SECONDS]"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress line on standard error."));
    const QCommandLineOption trustedKey(
        QStringLiteral("trusted-key"),
        QStringLiteral("Take only a release whose NAME.sha256.minisig this minisign public key "
                       "signed: its RW... line or its .pub file. May be given more than once; "
                       "without it, and instead of it unless they let the command line override "
                       "them, the keys the administrator presets (TrustedKeys)."),
        QStringLiteral("KEY-OR-FILE"));
    const QCommandLineOption signKey(
        QStringLiteral("sign-key"),
        QStringLiteral("Publish: sign the target's new TARGET.sha256 with this minisign secret "
                       "key, in TARGET.sha256.minisig."),
        QStringLiteral("FILE"));
    const QCommandLineOption signPasswordFile(
        QStringLiteral("sign-password-file"),
        QStringLiteral("The password of the --sign-key, as the first line of FILE (otherwise "
                       "asked on the terminal)."),
        QStringLiteral("FILE"));
    const QCommandLineOption release(
        QStringLiteral("release"),
        QStringLiteral("The release number to sign (default: one above the master's and the "
                       "last one signed here); it must be higher than both."),
        QStringLiteral("N"));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Copy nothing: read a --log and print one line per computer, user and "
                       "target from its last run (outcome, exit code, release in service, "
                       "error), marked against the master's release where --source or the "
                       "stored path names one, then a summary."),
        QStringLiteral("LOG"));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("With --report: CSV with a header row on standard "
                                                "output, the summary on standard error."));
    const QCommandLineOption since(
        QStringLiteral("since"),
        QStringLiteral("With --report: leave out the desks not seen for DAYS days, and name "
                       "them in the summary."),
        QStringLiteral("DAYS"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({source,  target, ifChanged, endAccess, open,       log,     randomDelay,
                       retry,   quiet,  who,       check,     trustedKey, signKey, signPasswordFile,
                       release, report, csv,       since,     help,       version});
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    // Read on past a mistake: what was given still names the target and the log of the refusal.
    const bool parsed = parser.parse(arguments);
    if (parsed && parser.isSet(help)) {
        // Qt's first line names the program file; the synopsis says more.
        const QString text = parser.helpText();
        return {Parsed::Action::Print, Options(),
                Synopsis + text.mid(text.indexOf(QLatin1Char('\n')) + 1) + QLatin1Char('\n') +
                    exitCodeTable()};
    }
    if (parsed && parser.isSet(version))
        return {Parsed::Action::Print, Options(),
                QStringLiteral("tarselcopy ") + QCoreApplication::applicationVersion() +
                    QLatin1Char('\n')};
    Options options;
    options.source = parser.isSet(source) ? parser.value(source) : storedPath(NewVersionLocation);
    options.target =
        parser.isSet(target) ? parser.value(target) : storedPath(RunningVersionLocation);
    options.logFile = parser.value(log);
    options.ifChanged = parser.isSet(ifChanged);
    options.endAccess = parser.isSet(endAccess);
    options.open = parser.isSet(open);
    options.quiet = parser.isSet(quiet);
    options.who = parser.isSet(who);
    options.check = parser.isSet(check);
    options.trustedKeys = parser.values(trustedKey);
    options.signKey = parser.value(signKey);
    options.signPasswordFile = parser.value(signPasswordFile);
    options.report = parser.value(report);
    options.csv = parser.isSet(csv);
    // Before anything is refused: a refused run is logged where the policy says, as every run.
    if (!parser.isSet(report) && !options.who) {
        const std::optional<QString> given =
            parser.isSet(log) ? std::optional(options.logFile) : std::nullopt;
        if (const std::optional<QString> policy =
                policyText(LogFilePolicy, given, QStringLiteral("--log"), options.warnings))
            options.logFile = *policy;
    }
    if (!unreadable.isEmpty()) {
        // A value is a whole argument, or what follows "--option=".
        for (QString* path : {&options.source, &options.target, &options.logFile})
            for (const QString& argument : unreadable)
                if (!path->isEmpty() && (argument == *path || argument.endsWith(u'=' + *path)))
                    path->clear();
        return refused(options, QStringLiteral("'%1' is not UTF-8: read as text it would name "
                                               "another file; give names in UTF-8")
                                    .arg(unreadable.first()));
    }
    if (!options.logFile.isEmpty()) {
        if (const QString what = logNamesRunFile(options.logFile, options); !what.isEmpty()) {
            const QString log = options.logFile;
            options.logFile.clear(); // nothing is written into it
            return refused(options, logRefusal(log, what));
        }
    }

    if (!parsed)
        return refused(options, parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refused(options, QStringLiteral("unexpected argument '") +
                                    parser.positionalArguments().first() + QStringLiteral("'"));
    if (parser.isSet(randomDelay) && (parser.isSet(report) || options.who))
        return refused(options, QStringLiteral("--random-delay goes with a run or --check, not "
                                               "with --report or --who"));
    if (parser.isSet(retry)) {
        if (!readRetry(parser.value(retry), options))
            return refused(options, retryRefusal(parser.value(retry)));
        if (parser.isSet(report) || options.who || options.check)
            return refused(options, QStringLiteral("--retry goes with a run, not with --report, "
                                                   "--who or --check"));
    }
    if (parser.isSet(report)) {
        // A report writes no log line: it is no run, and its log is what it reads.
        if (parser.isSet(target) || parser.isSet(log) || options.who || options.ifChanged ||
            options.endAccess || options.open || options.check) {
            options.logFile.clear();
            return refused(options, QStringLiteral("--report only reads: it takes no --target, "
                                                   "--log, --who, --check, --if-changed, "
                                                   "--end-access or --open"));
        }
        if (options.report.isEmpty())
            return refused(options, QStringLiteral("--report needs a log file"));
        if (parser.isSet(since)) {
            bool whole = false;
            options.sinceDays = parser.value(since).toInt(&whole);
            if (!whole || options.sinceDays <= 0 || !parser.value(since).front().isDigit())
                return refused(options, QStringLiteral("--since takes a whole number of days "
                                                       "above 0, not '%1'")
                                            .arg(parser.value(since)));
        }
        return {Parsed::Action::Run, options, QString()};
    }
    if (options.csv || parser.isSet(since))
        return refused(options, QStringLiteral("--csv and --since go with --report"));
    if (options.who && (options.ifChanged || options.endAccess || options.open))
        return refused(options, QStringLiteral("--who only asks: it takes no --if-changed, "
                                               "--end-access or --open"));
    if (options.check &&
        (options.who || options.endAccess || options.open || parser.isSet(signKey)))
        return refused(options, QStringLiteral("--check only asks: it takes no --who, "
                                               "--end-access, --open or --sign-key"));
    if (parser.isSet(randomDelay)) {
        const std::optional<double> seconds = secondsIn(parser.value(randomDelay), MaxDelaySeconds);
        if (!seconds)
            return refused(options, delayRefusal(parser.value(randomDelay)));
        options.randomDelay = *seconds;
    }
    if (options.source.isEmpty() && !options.who)
        return refused(options,
                       QStringLiteral("no release: give --source, or store one in the window"));
    if (options.target.isEmpty())
        return refused(options,
                       QStringLiteral("no target: give --target, or store one in the window"));
    if (parser.isSet(log) && options.logFile.isEmpty())
        return refused(options, QStringLiteral("--log needs a file"));
    if (parser.isSet(release)) {
        bool number = false;
        const QString text = parser.value(release);
        options.release = text.toULongLong(&number);
        if (!number || options.release == 0 || !text.front().isDigit())
            return refused(options, QStringLiteral("--release takes a positive number, not '") +
                                        text + QStringLiteral("'"));
    }
    if (options.signKey.isEmpty() && (parser.isSet(release) || parser.isSet(signPasswordFile)))
        return refused(options, QStringLiteral("--release and --sign-password-file go with "
                                               "--sign-key"));
    if (parser.isSet(signKey) && options.signKey.isEmpty())
        return refused(options, QStringLiteral("--sign-key needs a file"));
    if (!options.signKey.isEmpty() && (options.who || options.ifChanged))
        return refused(options, QStringLiteral("--sign-key publishes: it takes no --who or "
                                               "--if-changed"));
    const auto text = [&](const QCommandLineOption& option) {
        return parser.isSet(option) ? std::optional(parser.value(option)) : std::nullopt;
    };
    const auto on = [&](const QCommandLineOption& option) {
        return parser.isSet(option) ? std::optional(QStringLiteral("1")) : std::nullopt;
    };
    const Given given{on(ifChanged), on(endAccess), text(randomDelay), text(retry),
                      parser.isSet(trustedKey)};
    if (const QString why = applyPolicies(options, given); !why.isEmpty())
        return refused(options, why);
    return {Parsed::Action::Run, options, QString()};
}

} // namespace tarsel::console
