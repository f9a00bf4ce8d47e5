#include "console/ExitCode.h"
#include "copy/ReleaseNumbers.h"
#include "filetime/FileDateKind.h"
#include "filetime/ReadFileDate.h"
#include "platform/DirectorySearch.h"
#include "platform/SettingsStore.h"
#include "settings/Module1.h"
#include "support/FileFixtures.h"
#include "support/IdleCopy.h"
#include "support/LockFileSlots.h"
#include "support/MinisignFixtures.h"
#include "support/ReleaseFixture.h"
#include "support/TestHost.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <filesystem>
#include <list>

using namespace tarsel;
using namespace tarsel::test;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

QString program() {
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/.."))
        .absoluteFilePath(QStringLiteral(TARSEL_CONSOLE_PROGRAM));
}

// True when `process` is still running a moment later: one that was ended is seen to end.
bool stillRunning(QProcess& process) {
    return process.state() == QProcess::Running && !process.waitForFinished(300);
}

// A process name that retitles a terminal and clears it, and how it must be shown.
const QString Retitling = QStringLiteral("\x1b]2;owned\x07\x1b[2J");
const QString RetitlingShown = QStringLiteral("\\x1b]2;owned\\x07\\x1b[2J");

const QString WineListsNobody =
    QStringLiteral("Wine's Restart Manager lists nobody: the programs holding a file are told only "
                   "on Windows");

// The program's lines, ended by '\n' whatever the system ends them with. A run that did not end,
// or ended by a crash or a kill, has no exit code; what it wrote and how it ended are kept for the
// failure message.
Outcome finish(QProcess& process) {
    const bool ended = process.waitForFinished(120000);
    const auto lines = [](const QByteArray& bytes) {
        return QString::fromUtf8(bytes).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    };
    Outcome outcome{process.exitCode(), lines(process.readAllStandardOutput()),
                    lines(process.readAllStandardError())};
    if (!ended || process.exitStatus() != QProcess::NormalExit) {
        outcome.err += ended ? QStringLiteral("\n[ended abnormally, status 0x%1: %2]")
                                   .arg(uint(process.exitCode()), 0, 16)
                                   .arg(process.errorString())
                             : QStringLiteral("\n[still running after 120 s]");
        outcome.exitCode = -1;
    }
    return outcome;
}

// What a reader of the manual page sees of troff `lines`: font requests and escapes dropped, line
// breaks and runs of blanks folded into one blank.
QString troffText(const QStringList& lines) {
    static const QRegularExpression argument(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
    QStringList words;
    for (const QString& line : lines) {
        if (!line.startsWith('.')) {
            words << line;
            continue;
        }
        // .B and .I set their arguments apart; .BR, .RB, .IR ... alternate fonts without a blank.
        const QString request = line.section(' ', 0, 0);
        QStringList arguments;
        for (auto it = argument.globalMatch(line.mid(request.size())); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            arguments << (match.hasCaptured(1) ? match.captured(1) : match.captured(2));
        }
        words << arguments.join(request.size() == 2 ? " " : "");
    }
    QString text = words.join(' ');
    text.replace("\\-", "-").replace("\\(dq", "\"").replace("\\~", " ").remove("\\&");
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    return text.simplified();
}

// The manual page's EXIT STATUS as "N meaning", one per entry: each .TP entry's tag and its first
// paragraph (a further paragraph is an example).
QStringList manualPageExitCodes(const QString& troff) {
    static const QRegularExpression paragraph(QStringLiteral("^\\.(TP|IP|PP|LP|P|SH|SS)(\\s|$)"));
    const QStringList lines = troff.split('\n');
    QStringList codes;
    qsizetype i = lines.indexOf(".SH EXIT STATUS");
    if (i < 0)
        return codes;
    for (++i; i < lines.size() && !lines[i].startsWith(".SH");) {
        if (lines[i++] != ".TP")
            continue;
        const QString tag = troffText({lines.value(i++)});
        QStringList text;
        while (i < lines.size() && !paragraph.match(lines[i]).hasMatch())
            text << lines[i++];
        codes << tag + ' ' + troffText(text);
    }
    return codes;
}

// --help's exit codes as "N meaning": "  N  " and a meaning, continued on lines indented as far.
QStringList helpExitCodes(const QString& help) {
    static const QRegularExpression entry(QStringLiteral("^  (\\d+)  (\\S.*)$"));
    QStringList codes;
    const QStringList lines = help.section("Exit codes:\n", 1).split('\n');
    for (const QString& line : lines) {
        if (const QRegularExpressionMatch match = entry.match(line); match.hasMatch())
            codes << match.captured(1) + ' ' + match.captured(2);
        else if (line.startsWith("     ") && !codes.isEmpty())
            codes.last() += ' ' + line.trimmed();
    }
    return codes;
}

// A log line as a run of this version appends it; `when` in ISO 8601 with its offset.
QByteArray logLine(const QString& when, const QString& computer, const QString& user,
                   const QString& outcome, int exitCode, const QString& target,
                   const QByteArray& digest, const QString& release = QString(),
                   const QString& error = QString()) {
    return QStringList{
               when,   user,     computer, outcome, QString::number(exitCode),   "/srv/app.mdb",
               target, "300000", "1.250",  error,   QString::fromLatin1(digest), release}
               .join('\t')
               .toUtf8() +
           '\n';
}

QString daysAgo(int days) {
    return QDateTime::currentDateTimeUtc().addDays(-days).toString("yyyy-MM-ddTHH:mm:ss+00:00");
}

} // namespace

class TestTarselCopy : public QObject {
    Q_OBJECT

    IsolatedSettings settings_;
    ReleaseFixture files_;
    QTemporaryDir tools_;
    QString opened_; // where the stand-in for the desktop's opener writes what it was given

    // The program as a script starts it, with a process environment whose opener is our
    // stand-in; `wrapper` is the command that runs it (strace), if any.
    void start(QProcess& process, const QStringList& arguments,
               ConsoleOutput output = ConsoleOutput::Read, QStringList wrapper = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           tools_.path() + QDir::listSeparator() + environment.value("PATH"));
        process.setProcessEnvironment(environment);
        wrapper << program() << arguments;
        startAsFromAShell(process, wrapper.takeFirst(), wrapper, output);
    }

    Outcome run(const QStringList& arguments, ConsoleOutput output = ConsoleOutput::Read,
                const QStringList& wrapper = {}) {
        QProcess process;
        start(process, arguments, output, wrapper);
        return finish(process);
    }

    QStringList paths() const { return {"--source", files_.source, "--target", files_.target}; }

    // The target as it stands: same bytes, and a change would move its modification time.
    QDateTime modifiedOf(const QString& path) const { return QFileInfo(path).lastModified(); }

    static QByteArray sha256Hex(const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    }

private slots:
    void initTestCase() {
        QVERIFY(QFileInfo(program()).isExecutable());
        QVERIFY(tools_.isValid());
        opened_ = tools_.filePath("opened.txt");
        QVERIFY(writeFile(tools_.filePath("xdg-open"),
                          "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened_.toUtf8() + "'\n"));
        QVERIFY(
            QFile::setPermissions(tools_.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner));
    }

    void init() {
        QVERIFY(files_.reset(patternBytes(300000), QByteArray("the old version")));
        QFile::remove(opened_);
        // No release numbers from an earlier test: this user's store keeps them per path.
        for (const QString& keyPath : {ReleasesInServiceKeyPath, ReleasesSignedKeyPath})
            for (const QString& file : {files_.source, files_.target})
                QVERIFY(platform::storeText(HKEY_CURRENT_USER, keyPath,
                                            QDir::toNativeSeparators(file), QString(), QString()));
    }

    void exitCodes_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("inService"); // the release is at the target afterwards
        QTest::newRow("updated") << "plain" << 0 << true;
        QTest::newRow("unknown option") << "--frobnicate" << 2 << false;
        QTest::newRow("no target") << "no target" << 2 << false;
        QTest::newRow("same file") << "same file" << 2 << false;
        QTest::newRow("--who without a target") << "who, no target" << 2 << false;
        QTest::newRow("--who with --end-access") << "who, end access" << 2 << false;
        // Read as text, the byte would become U+FFFD: another file, and the real target left old.
        QTest::newRow("a target whose name is not UTF-8") << "target not utf-8" << 2 << false;
        QTest::newRow("--random-delay negative") << "--random-delay -1" << 2 << false;
        QTest::newRow("--random-delay not a number") << "--random-delay soon" << 2 << false;
        QTest::newRow("--random-delay in exponent form") << "--random-delay 1e3" << 2 << false;
        QTest::newRow("--random-delay past a day") << "--random-delay 86401" << 2 << false;
        QTest::newRow("--random-delay with --who") << "who, random delay" << 2 << false;
        QTest::newRow("--retry negative") << "--retry -1" << 2 << false;
        QTest::newRow("--retry past 100") << "--retry 101" << 2 << false;
        QTest::newRow("--retry with seconds not a number") << "--retry 3:soon" << 2 << false;
        QTest::newRow("--retry with no seconds after the colon") << "--retry 3:" << 2 << false;
        QTest::newRow("--retry with --check") << "--retry 3 --check" << 2 << false;
        QTest::newRow("release missing") << "release missing" << 3 << false;
        QTest::newRow("release is a folder") << "release folder" << 3 << false;
        QTest::newRow("target folder missing: made, its parent too")
            << "target folder missing" << 0 << true;
        QTest::newRow("target folder cannot be made: a file in its place")
            << "target parent a file" << 4 << false;
        QTest::newRow("target is a folder") << "target folder" << 4 << false;
        // A file size limit (ulimit -f) with SIGXFSZ at its default: the write fails instead.
        QTest::newRow("disk full") << "disk full" << 5 << false;
        QTest::newRow("disk full, a release of 2 GiB") << "disk full, 2 GiB" << 5 << false;
        QTest::newRow("disk full, a stopped run's staging file in the way")
            << "disk full, leftover" << 5 << false;
        QTest::newRow("the release cannot be read") << "release read error" << 5 << false;
        // Taken only as published: its .sha256 read as sha256sum -c reads it, never ignored.
        QTest::newRow("an empty release") << "release empty" << 3 << false;
        QTest::newRow("half-written under its checksum") << "sha256 half-written" << 3 << false;
        QTest::newRow(".sha256 in upper case") << "sha256 upper" << 0 << true;
        QTest::newRow(".sha256 with CRLF") << "sha256 crlf" << 0 << true;
        QTest::newRow(".sha256 empty") << "sha256 empty" << 3 << false;
        QTest::newRow(".sha256 one digit short") << "sha256 short" << 3 << false;
        QTest::newRow(".sha256 names another file") << "sha256 other" << 3 << false;
        QTest::newRow(".sha256 binary garbage") << "sha256 garbage" << 3 << false;
        QTest::newRow(".sha256 a folder") << "sha256 folder" << 3 << false;
        QTest::newRow("no room for the checksum beside the target: a warning")
            << "target sha256 folder" << 0 << true;
        QTest::newRow(".sha256 the digest alone, as Get-FileHash gives it")
            << "sha256 digest alone" << 0 << true;
        // Beside the target lies the old version's .sha256 in every row: whatever fails, no record
        // of one version is left beside another.
        QTest::newRow("the new checksum cannot be renamed: none is left beside the new version")
            << "record rename fails" << 0 << true;
        QTest::newRow("the swap fails: the old version keeps its checksum")
            << "swap rename fails" << 4 << false;
        QTest::newRow("the old checksum cannot be moved aside: nothing is swapped")
            << "aside fails" << 4 << false;
        QTest::newRow("the old version's checksum read-only: replaced")
            << "old record read-only" << 0 << true;
        QTest::newRow("a signature of the old version: removed") << "old signature" << 0 << true;
        QTest::newRow("names near the 255-byte limit: no checksum can exist beside them")
            << "long names" << 0 << true;
        // Where the file system reports a full disk only when the copy is flushed (NFS, SMB,
        // quotas).
        QTest::newRow("disk full at the flush (fsync)") << "flush ENOSPC" << 5 << false;
        QTest::newRow("quota exceeded at the flush (sync_file_range)")
            << "flush EDQUOT" << 5 << false;
        // With a trusted key, a release is taken only as its publisher signed it (release 5).
        QTest::newRow("signed") << "signed" << 0 << true;
        QTest::newRow("signed by the second of two trusted keys")
            << "signed, two keys" << 0 << true;
        QTest::newRow("signed as the release in service, same bytes")
            << "signed, same release" << 0 << true;
        QTest::newRow("not signed") << "unsigned" << 3 << false;
        QTest::newRow("signed by a key that is not trusted") << "untrusted key" << 3 << false;
        QTest::newRow("the signed .sha256 altered") << "altered sha256" << 3 << false;
        QTest::newRow("the trusted comment altered") << "altered comment" << 3 << false;
        QTest::newRow("signed for another file") << "other file" << 3 << false;
        QTest::newRow("older than the release in service") << "older release" << 3 << false;
        QTest::newRow("numbered as the release in service, other bytes")
            << "same number, other bytes" << 3 << false;
        QTest::newRow(".minisig cut short") << "truncated minisig" << 3 << false;
        QTest::newRow(".minisig garbage") << "garbage minisig" << 3 << false;
        QTest::newRow("the rights cannot be given: named after the target")
            << "rights fail" << 4 << false;
        // A publisher without privileges replacing another's file: that owner's and group's bits
        // go to nobody else, and a warning names them.
        QTest::newRow("another owner's file: its owner and group named in a warning")
            << "another owner" << 0 << true;
    }

    // Every code, with the old version untouched and no staging file whenever the run failed, one
    // line on standard output for a run, and nothing on standard error but the error.
    void exitCodes() {
        QFETCH(QString, situation);
        QFETCH(int, exitCode);
        QFETCH(bool, inService);
        QStringList arguments = paths();
        QString target = files_.target;
        if (situation == "--frobnicate") {
            arguments << situation;
        } else if (situation.startsWith("--")) {
            arguments << situation.split(' ');
        } else if (situation == "no target") {
            arguments = QStringList{"--source", files_.source, "--target", ""};
        } else if (situation == "who, random delay") {
            arguments << "--who"
                      << "--random-delay"
                      << "5";
        } else if (situation == "who, no target") {
            arguments = QStringList{"--who", "--target", ""};
        } else if (situation == "who, end access") {
            arguments << "--who"
                      << "--end-access";
        } else if (situation == "target not utf-8") {
            if (const QString why = missing(Facility::AnyCharacterInNames, files_.liveFolder());
                !why.isEmpty())
                QSKIP(qPrintable("arguments are bytes only where names are: " + why));
            // Bytes that QProcess cannot pass: the shell adds the target.
            arguments = QStringList{files_.liveFolder(), "--source", files_.source};
        } else if (situation == "same file") {
            arguments[3] = files_.source;
            target = files_.source;
        } else if (situation == "release missing") {
            QVERIFY(QFile::remove(files_.source));
        } else if (situation == "release folder") {
            QVERIFY(QFile::remove(files_.source) && QDir().mkdir(files_.source));
        } else if (situation == "target folder missing") {
            target = files_.root() + "/nowhere/deeper/app.mdb";
            arguments[3] = target;
        } else if (situation == "target parent a file") {
            QVERIFY(writeFile(files_.root() + "/blocker", "a file"));
            target = files_.root() + "/blocker/deeper/app.mdb";
            arguments[3] = target;
        } else if (situation == "target folder") {
            QVERIFY(QFile::remove(files_.target) && QDir().mkdir(files_.target));
        } else if (situation == "long names") {
            const QString name(250, u'a');
            arguments = QStringList{"--source", files_.root() + "/release/" + name, "--target",
                                    files_.liveFolder() + '/' + name};
            QVERIFY(QFile::rename(files_.source, arguments[1]) &&
                    QFile::rename(files_.target, arguments[3]));
            target = arguments[3];
        }
        // What a desk has beside the version it runs.
        const QByteArray oldRecord = sha256Hex(files_.oldBytes) + "  app.mdb\n";
        const bool withOldRecord = target == files_.target && situation != "target folder" &&
                                   situation != "target sha256 folder";
        if (withOldRecord)
            QVERIFY(writeFile(files_.target + ".sha256", oldRecord));
        std::optional<FileSizeLimit> limit;
        bool sizeLimit = false; // passed on to the child
        QString leftover;       // a stopped run's staging file beside the target
        if (situation.startsWith("disk full")) {
            const QString noLimit = missing(Facility::FileSizeLimit);
            const QString noFullDrive = missing(Facility::FullDrive);
            if (noLimit.isEmpty()) {
                sizeLimit = true;
            } else if (noFullDrive.isEmpty()) {
                target = fullDriveRoot() + "/app.mdb";
                arguments[3] = target;
                QVERIFY(writeFile(files_.source, patternBytes(3 << 20)));
            } else {
                QSKIP(qPrintable(noLimit + "; " + noFullDrive));
            }
        }
        if (situation == "disk full, 2 GiB") {
            QFile release(files_.source); // sparse: the file system stores none of it
            QVERIFY(release.open(QIODevice::WriteOnly) && release.resize(qint64(1) << 31));
        }
        if (situation == "disk full, leftover") {
            leftover = QFileInfo(target).absolutePath() + "/.app.mdb.tarsel-AbCdEf012345";
            QVERIFY(writeFile(leftover, QByteArray(1 << 20, 'x')));
            QVERIFY(test::setDosAttributes(leftover, platform::Attr::Hidden).isEmpty());
        }
        const QString published = files_.source + ".sha256";
        const QByteArray hex = sha256Hex(files_.newBytes);
        if (situation == "release empty") {
            QVERIFY(writeFile(files_.source, QByteArray()));
        } else if (situation == "sha256 half-written") {
            QVERIFY(writeFile(published, hex + "  app.mdb\n"));
            QByteArray half = files_.newBytes;
            half.replace(half.size() / 2, half.size() / 2, QByteArray(half.size() / 2, '\0'));
            QVERIFY(writeFile(files_.source, half));
        } else if (situation == "sha256 upper") {
            QVERIFY(writeFile(published, hex.toUpper() + "  app.mdb\n"));
        } else if (situation == "sha256 crlf") {
            QVERIFY(writeFile(published, hex + "  app.mdb\r\n"));
        } else if (situation == "sha256 empty") {
            QVERIFY(writeFile(published, QByteArray()));
        } else if (situation == "sha256 short") {
            QVERIFY(writeFile(published, hex.chopped(1) + "  app.mdb\n"));
        } else if (situation == "sha256 other") {
            QVERIFY(writeFile(published, hex + "  other.mdb\n"));
        } else if (situation == "sha256 garbage") {
            QVERIFY(writeFile(published, patternBytes(500)));
        } else if (situation == "sha256 folder") {
            QVERIFY(QDir().mkdir(published));
        } else if (situation == "target sha256 folder") {
            QVERIFY(QDir().mkpath(files_.target + ".sha256/held"));
        } else if (situation == "sha256 digest alone") {
            QVERIFY(writeFile(published, hex.toUpper()));
        } else if (situation == "old record read-only") {
            QVERIFY(QFile::setPermissions(files_.target + ".sha256", QFile::ReadOwner));
        } else if (situation == "old signature") {
            QVERIFY(writeFile(files_.target + ".sha256.minisig",
                              "untrusted comment: signature of the old version\n"));
        }
        const QString signature = published + ".minisig";
        const QString releaseError = "tarselcopy: Error %1 (The new release " + files_.source;
        const QString refusedBy = releaseError + " is refused: " + signature + ": ";
        const QMap<QString, QString> refusals{
            {"unsigned", releaseError.arg(519) + " is not signed: " + signature + " is missing."},
            {"untrusted key",
             refusedBy.arg(520) + "Signed by key 6DDFDC7B3D826ECB, which is not a trusted key)"},
            {"altered sha256", refusedBy.arg(521) + "The signature does not match what it signs"},
            {"altered comment", refusedBy.arg(521) + "The trusted comment is not the one signed"},
            {"other file", refusedBy.arg(521) + "Signed for another file, other.mdb, not app.mdb)"},
            {"older release", releaseError.arg(526) +
                                  " is release 5, older than release 6, "
                                  "which is in service at " +
                                  files_.target + ")"},
            {"same number, other bytes",
             releaseError.arg(526) +
                 " is signed as release 5, the number of the release in "
                 "service at " +
                 files_.target + ", but its bytes are other ones)"},
            {"truncated minisig", refusedBy.arg(522)},
            {"garbage minisig", refusedBy.arg(522)},
        };
        const bool signedRow = situation.startsWith("signed") || refusals.contains(situation);
        if (signedRow) {
            if (const QString why = missing(Facility::ChildSharesSettings); !why.isEmpty())
                QSKIP(qPrintable(why));
            const QByteArray line = hex + "  app.mdb\n";
            QVERIFY(writeFile(published, line));
            QByteArray signed_ =
                releaseSignature(line, situation == "other file" ? "other.mdb" : "app.mdb", 5);
            if (situation == "altered sha256")
                QVERIFY(writeFile(published, hex.toUpper() + "  app.mdb\n"));
            else if (situation == "altered comment")
                signed_.replace("release:5", "release:6");
            else if (situation == "truncated minisig")
                signed_.truncate(signed_.indexOf("trusted comment"));
            else if (situation == "garbage minisig")
                signed_ = patternBytes(500);
            if (situation != "unsigned")
                QVERIFY(writeFile(signature, signed_));
            if (situation == "signed, two keys")
                arguments << "--trusted-key" << publicKeyLine("other");
            arguments << "--trusted-key"
                      << publicKeyLine(situation == "untrusted key" ? "other" : "unprotected");
            // What this user put into service before; nothing for the other rows.
            const QMap<QString, NumberedRelease> before{
                {"signed, same release", {5, QByteArray::fromHex(hex)}},
                {"older release", {6, QByteArray::fromHex(hex)}},
                {"same number, other bytes", {5, QByteArray(32, 'x')}},
            };
            if (before.contains(situation))
                QVERIFY(keepReleaseInService(files_.target, before[situation]));
        }
        QStringList wrapper;
        if (situation == "target not utf-8")
            wrapper = QStringList{"sh", "-c",
                                  "folder=$1; shift; exec \"$0\" \"$@\" --target "
                                  "\"$folder/app$(printf '\\377').mdb\""};
        // The run's renames: the swap, then the new checksum's; the old records go aside with
        // renameat2, which refuses to replace.
        const QMap<QString, QString> faults{
            {"release read error", "copy_file_range,pread64:EIO"},
            {"record rename fails", "rename:EIO:when=2"},
            {"swap rename fails", "rename:EIO:when=1"},
            {"aside fails", "renameat2:EIO"},
            {"flush ENOSPC", "fsync:ENOSPC"},
            {"flush EDQUOT", "sync_file_range:EDQUOT"},
            {"rights fail", "fchmod:EIO:when=1"},
        };
        if (faults.contains(situation)) {
            if (const QString why = missing(Facility::SystemCallFaults); !why.isEmpty())
                QSKIP(qPrintable(why));
            const QStringList fault = faults[situation].split(':');
            // Where the system's copy fails, the buffer reads the release itself and fails too.
            wrapper =
                withFailingCalls(situation == "release read error" ? files_.source : QString(),
                                 fault[0], fault.mid(1).join(':'));
        }
        constexpr uint Nobody = 65534;
        if (situation == "another owner") {
            if (const QString why = UnprivilegedOwnerChanges().missing(); !why.isEmpty())
                QSKIP(qPrintable(why));
            if (!runsAsRoot() || QStandardPaths::findExecutable("setpriv").isEmpty())
                QSKIP("runs the publisher as nobody with setpriv, which needs root");
            // Everything is nobody's but the old version, which is root's and everyone may read.
            QVERIFY(changeOwner(files_.root(), Nobody));
            for (const QString& folder : {files_.liveFolder(), files_.root() + "/release"}) {
                QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                                   QDir::NoDotAndDotDot);
                entries << QFileInfo(folder);
                for (const QFileInfo& entry : entries)
                    QVERIFY(changeOwner(entry.filePath(), Nobody));
            }
            QVERIFY(changeOwner(files_.target, 0));
            QVERIFY(QFile::setPermissions(files_.target, QFile::ReadOwner | QFile::WriteOwner |
                                                             QFile::ReadGroup | QFile::ReadOther));
            const QString id = QString::number(Nobody);
            wrapper = {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
        }
        const QByteArray before = readFile(target);
        const QString log = files_.root() + "/runs.log";
        if (sizeLimit)
            limit.emplace(1000);
        Outcome outcome = run(arguments << "--log" << log, ConsoleOutput::Read, wrapper);
        limit.reset();
        if (!leftover.isEmpty()) {
            // Left to the age rule: it may be another computer's copy in progress.
            QVERIFY(QFile::exists(leftover));
            QVERIFY2(outcome.err.contains(".app.mdb.tarsel-AbCdEf012345 beside it, left by a run "
                                          "that was stopped, holds 1.0 MB and is removed by the "
                                          "first run from "),
                     qPrintable(outcome.err));
            QVERIFY(QFile::remove(leftover));
            outcome.err.remove(".app.mdb.tarsel-AbCdEf012345");
        }

        QCOMPARE(outcome.exitCode, exitCode);
        QCOMPARE(ReleaseFixture::stagingFilesIn(QFileInfo(target).absolutePath()), QStringList());
        if (situation == "target sha256 folder") {
            QVERIFY2(outcome.err.startsWith("tarselcopy: warning: Error ") &&
                         outcome.err.contains(" (The checksum was not written beside the new "
                                              "version: " +
                                              files_.target + ".sha256: "),
                     qPrintable(outcome.err));
            QCOMPARE(readFile(files_.target), files_.newBytes);
            QVERIFY(QFileInfo(files_.target + ".sha256").isDir());
        } else if (situation == "record rename fails") {
            QCOMPARE(readFile(files_.target), files_.newBytes);
            QVERIFY2(outcome.err.startsWith("tarselcopy: warning: Error 57 (The checksum was not "
                                            "written beside the new version: "),
                     qPrintable(outcome.err));
            QVERIFY(!QFileInfo::exists(files_.target + ".sha256"));
        } else if (situation == "target folder missing") {
            // Made as any new folder there is: the umask's rights, not the run's own choice.
            QCOMPARE(readFile(target), files_.newBytes);
            const QString made = files_.root() + "/nowhere";
            QVERIFY2(outcome.out.contains(", created the folder " + made + ")\n"),
                     qPrintable(outcome.out));
            QCOMPARE(outcome.err, "tarselcopy: created the folder " + made + "\n");
            QDir().mkdir(files_.root() + "/sibling");
            QCOMPARE(QFileInfo(made + "/deeper").permissions(),
                     QFileInfo(files_.root() + "/sibling").permissions());
        } else if (situation == "another owner") {
            QCOMPARE(readFile(files_.target), files_.newBytes);
            QVERIFY2(outcome.err.startsWith("tarselcopy: warning: Error 70 (" + files_.target +
                                            " could not keep the old version's owner root and "
                                            "group root: "),
                     qPrintable(outcome.err));
            // Readable by everyone, as the old version was; the group bits beyond that went.
            const QFileInfo placed(files_.target);
            QCOMPARE(placed.groupId(), Nobody);
            QCOMPARE(placed.permissions() & 0x0777, QFileDevice::Permissions::fromInt(0x0644));
        } else if (inService) {
            QCOMPARE(readFile(target), files_.newBytes);
            QVERIFY2(outcome.out.startsWith("updated " + target + " (300000 bytes, "),
                     qPrintable(outcome.out + outcome.err));
            QCOMPARE(outcome.err, QString());
            // The version put into service, as sha256sum -c checks it; none where no name can
            // hold it.
            if (situation == "long names")
                QCOMPARE(QDir(files_.liveFolder()).entryList(QDir::Files | QDir::Hidden),
                         QStringList{QFileInfo(target).fileName()});
            else
                QCOMPARE(readFile(files_.target + ".sha256"), hex + "  app.mdb\n");
        } else {
            QCOMPARE(readFile(target), before);
            QVERIFY(!outcome.err.isEmpty());
        }
        if (exitCode > 2 || situation == "same file") {
            QCOMPARE(outcome.out.count('\n'), 1);
            QVERIFY(outcome.out.startsWith("failed "));
            QVERIFY(outcome.err.contains(QRegularExpression("^tarselcopy: Error \\d+ \\(")));
        }
        // Errors name the files the user gave, never the hidden staging file.
        QVERIFY2(!outcome.err.contains(".tarsel-"), qPrintable(outcome.err));
        if (situation == "rights fail")
            QVERIFY2(outcome.err.startsWith("tarselcopy: Error 57 (" + files_.target + ": "),
                     qPrintable(outcome.err));
        if (situation.startsWith("disk full") || situation.startsWith("flush"))
            QVERIFY2(outcome.err.contains("tarselcopy: Error 61 ("), qPrintable(outcome.err));
        if (situation == "target not utf-8") {
            QVERIFY2(outcome.err.startsWith("tarselcopy: '" + files_.liveFolder() +
                                            "/app\ufffd.mdb' "
                                            "is not UTF-8"),
                     qPrintable(outcome.err));
            QCOMPARE(QDir(files_.liveFolder()).entryList(QDir::Files | QDir::Hidden),
                     QStringList({"app.mdb", "app.mdb.sha256"}));
            QCOMPARE(QString::fromUtf8(readFile(log)).split('\t').value(6), QString());
        }
        // The folder that cannot be made is named.
        if (situation == "target parent a file")
            QVERIFY2(outcome.err.startsWith("tarselcopy: Error 76 (" + files_.root() +
                                            "/blocker/deeper: "),
                     qPrintable(outcome.err));
        // A run in service says in its log line what it did without, as on standard error.
        if (exitCode == 0) {
            QStringList warnings = outcome.err.split('\n', Qt::SkipEmptyParts);
            warnings.replaceInStrings(QRegularExpression("^tarselcopy: (warning: )?"), QString());
            QCOMPARE(QString::fromUtf8(readFile(log)).split('\t').value(9).trimmed(),
                     warnings.join("; "));
        }
        if (situation == "release read error")
            QVERIFY2(outcome.err.startsWith("tarselcopy: Error 57 (" + files_.source + ": "),
                     qPrintable(outcome.err));
        if (situation == "release empty")
            QCOMPARE(outcome.err,
                     "tarselcopy: Error 518 (The new release is empty: " + files_.source + ")\n");
        // Written over in place after its checksum: refused before anything is copied.
        if (situation == "sha256 half-written")
            QVERIFY2(outcome.err.startsWith("tarselcopy: Error 517 (The new release changed after "
                                            "its published checksum was written: " +
                                            files_.source + " is newer than " + published),
                     qPrintable(outcome.err));
        if (situation.startsWith("sha256 ") && exitCode == 3)
            QVERIFY2(outcome.err.contains(published), qPrintable(outcome.err));
        // A failed run leaves the old version's records as they were; a run in service leaves
        // none of them.
        if (withOldRecord && !inService)
            QCOMPARE(readFile(files_.target + ".sha256"), oldRecord);
        if (withOldRecord && inService)
            QVERIFY(readFile(files_.target + ".sha256") != oldRecord);
        QCOMPARE(QFileInfo::exists(files_.target + ".sha256.minisig"),
                 situation == "old signature" && !inService);
        // Each refusal in its own words, on standard error and in the log; a signed release taken
        // is kept as the one in service.
        if (refusals.contains(situation)) {
            QVERIFY2(outcome.err.startsWith(refusals[situation]), qPrintable(outcome.err));
            const QString error =
                outcome.err.section('\n', 0, 0).mid(QString("tarselcopy: ").size());
            QCOMPARE(QString::fromUtf8(readFile(log)).split('\t').value(9).trimmed(), error);
        }
        if (signedRow && inService) {
            settings_.forgetWhatWasRead();
            QCOMPARE(releaseInService(files_.target).release, quint64(5));
            QCOMPARE(releaseInService(files_.target).digest, QByteArray::fromHex(hex));
        }
    }

    // One list of exit codes: --help prints it and the manual page's EXIT STATUS says the same,
    // code for code, whatever the markup and the line breaks.
    void helpAndManualPageGiveTheExitCodeList() {
        QStringList list;
        for (const auto& [code, meaning] : console::ExitCodeMeanings)
            list << QString::number(code) + ' ' + QString::fromLatin1(meaning);

        QFile page(":/manual/tarselcopy.1");
        QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.errorString()));
        QCOMPARE(manualPageExitCodes(QString::fromUtf8(page.readAll())), list);

        const Outcome outcome = run({"--help"});
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(helpExitCodes(outcome.out), list);
        for (const QString& line : outcome.out.section("Exit codes:\n", 1).split('\n'))
            QVERIFY2(line.size() <= 79, qPrintable(line));
    }

    // A shortcut or a logon script without paths runs with the ones the window shows this user.
    void storedPathsAreTheDefaults() {
        if (const QString why = missing(Facility::ChildSharesSettings); !why.isEmpty())
            QSKIP(qPrintable(why));
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, NewVersionLocation, files_.source);
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, RunningVersionLocation, files_.target);
        const Outcome outcome = run({});
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(readFile(files_.target), files_.newBytes);
    }

    // A publisher's signed releases as desks take them, run after run: each publish is numbered
    // one above the last, a desk never goes back to an older release put back on the share, and
    // publishing the old build again is how a release is rolled back.
    void signedReleasesAcrossRuns() {
        if (const QString why = missing(Facility::ChildSharesSettings); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString build = files_.root() + "/build/app.mdb";
        const QString master = files_.source;
        const QString key = tools_.filePath("unprotected.key");
        QVERIFY(QDir().mkpath(files_.root() + "/build"));
        QVERIFY(writeFile(key, minisignFixture("unprotected.key")));
        const QStringList trusted{"--trusted-key", publicKeyLine("unprotected")};
        const QString log = files_.root() + "/desk.log";
        const QStringList desk =
            QStringList{"--source", master, "--target", files_.target, "--log", log} + trusted;
        // The release the desk's last log line says is in service.
        const auto loggedRelease = [&] {
            const QStringList lines = QString::fromUtf8(readFile(log)).split('\n');
            return lines.value(lines.size() - 2).split('\t').value(11);
        };
        const auto publish = [&](const QByteArray& bytes, const QStringList& more = {}) {
            if (!writeFile(build, bytes))
                return Outcome{};
            return run(QStringList{"--sign-key", key, "--source", build, "--target", master} +
                       more);
        };
        const auto signedNumber = [&] {
            const QByteArray file = readFile(master + ".sha256.minisig");
            return readReleaseComment(minisign::readSignature(file).trustedComment).release;
        };
        const QByteArray first = patternBytes(4000);
        const QByteArray second = patternBytes(6000);

        QCOMPARE(publish(first).exitCode, 0);
        QCOMPARE(signedNumber(), quint64(1));
        QCOMPARE(run(desk).exitCode, 0);
        QCOMPARE(readFile(files_.target), first);
        // What an attacker who can write the share keeps of release 1.
        const QMap<QString, QByteArray> releaseOne{
            {master, readFile(master)},
            {master + ".sha256", readFile(master + ".sha256")},
            {master + ".sha256.minisig", readFile(master + ".sha256.minisig")}};

        QCOMPARE(publish(second).exitCode, 0);
        QCOMPARE(signedNumber(), quint64(2));
        QCOMPARE(run(desk).exitCode, 0);
        QCOMPARE(readFile(files_.target), second);
        QCOMPARE(run(desk + QStringList{"--if-changed"}).out, "current " + files_.target + "\n");
        QCOMPARE(loggedRelease(), "2");

        for (auto it = releaseOne.begin(); it != releaseOne.end(); ++it)
            QVERIFY(writeFile(it.key(), it.value()));
        Outcome outcome = run(desk);
        QCOMPARE(outcome.exitCode, 3);
        QVERIFY2(outcome.err.contains(
                     "is release 1, older than release 2, which is in service at " + files_.target),
                 qPrintable(outcome.err));
        QCOMPARE(readFile(files_.target), second);
        QCOMPARE(loggedRelease(), "2");
        // Not current either: it is not the release in service.
        QCOMPARE(run(desk + QStringList{"--if-changed"}).exitCode, 3);

        // The rollback: the first build published again, as the next release.
        QCOMPARE(publish(first).exitCode, 0);
        QCOMPARE(signedNumber(), quint64(3));
        QCOMPARE(run(desk).exitCode, 0);
        QCOMPARE(readFile(files_.target), first);

        // A number asked for must be higher than the last one signed.
        outcome = publish(second, {"--release", "3"});
        QCOMPARE(outcome.exitCode, 2);
        QVERIFY2(outcome.err.contains("--release 3 is not higher than release 3"),
                 qPrintable(outcome.err));
        QCOMPARE(readFile(master), first);
        QCOMPARE(publish(second, {"--release", "10"}).exitCode, 0);
        QCOMPARE(signedNumber(), quint64(10));
        QCOMPARE(run(desk).exitCode, 0);
        QCOMPARE(readFile(files_.target), second);
    }

    // The publish's signature is minisign's: minisign checks it, and the master with sha256sum.
    void minisignChecksAPublish() {
        const QString minisign = QStandardPaths::findExecutable("minisign");
        if (minisign.isEmpty())
            QSKIP("minisign is not installed here (scripts/install-deps.sh installs it on Linux)");
        const QString key = tools_.filePath("unprotected.key");
        QVERIFY(writeFile(key, minisignFixture("unprotected.key")));
        QCOMPARE(
            run({"--sign-key", key, "--source", files_.source, "--target", files_.target}).exitCode,
            0);
        QProcess check;
        check.start(minisign,
                    {"-V", "-m", files_.target + ".sha256", "-P", publicKeyLine("unprotected")});
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitCode(), 0);
        QVERIFY2(check.readAllStandardOutput().contains("file:app.mdb release:1"),
                 "the trusted comment names the file and its release");
    }

    void passwordProtectedKey_data() {
        QTest::addColumn<QByteArray>("password"); // in the --sign-password-file; null: none given
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        QTest::newRow("the password") << MinisignPassword + "\n" << 0 << QString();
        QTest::newRow("the password, CRLF") << MinisignPassword + "\r\n" << 0 << QString();
        QTest::newRow("the password without a line end") << MinisignPassword << 0 << QString();
        QTest::newRow("a wrong password") << QByteArray("wrong\n") << 2 << "Error 524 (";
        QTest::newRow("no password file, no terminal")
            << QByteArray() << 2 << "there is no terminal to ask it on";
    }

    // The password of a protected key from a file, or asked on a terminal; never an argument.
    void passwordProtectedKey() {
        QFETCH(QByteArray, password);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        const QString key = tools_.filePath("protected.key");
        QVERIFY(writeFile(key, minisignFixture("protected.key")));
        QStringList arguments{"--sign-key",  key,        "--source",
                              files_.source, "--target", files_.target};
        QStringList wrapper;
        if (password.isNull()) {
            // A process without a controlling terminal, as a scheduled task runs.
            const QString setsid = QStandardPaths::findExecutable("setsid");
            if (setsid.isEmpty())
                QSKIP("no setsid here to start the program without a terminal");
            wrapper << setsid;
        } else {
            QVERIFY(writeFile(tools_.filePath("password"), password));
            arguments << "--sign-password-file" << tools_.filePath("password");
        }
        const Outcome outcome = run(arguments, ConsoleOutput::Read, wrapper);
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(outcome.err.contains(error), qPrintable(outcome.err));
        if (exitCode != 0) {
            QCOMPARE(readFile(files_.target), files_.oldBytes);
            return;
        }
        const QByteArray signature = readFile(files_.target + ".sha256.minisig");
        QCOMPARE(minisign::verify(readFile(files_.target + ".sha256"),
                                  minisign::readSignature(signature),
                                  {minisign::readPublicKey(minisignFixture("protected.pub"))})
                     .id,
                 minisign::readPublicKey(minisignFixture("protected.pub")).id);
    }

    void ifChanged_data() {
        QTest::addColumn<QString>("since");
        QTest::addColumn<bool>("current");
        QTest::addColumn<bool>("byDate");    // decided by the creation date, not by checksums
        QTest::addColumn<bool>("endAccess"); // with --end-access and an Access holding the target
        QTest::newRow("nothing changed: current") << "nothing" << true << true << false;
        QTest::newRow("a new release") << "new release" << false << true << false;
        QTest::newRow("same bytes, never stamped by a run")
            << "copied by hand" << false << true << false;
        // Both .sha256 files decide, also where the file system keeps no creation date.
        QTest::newRow("the checksums agree, never stamped: current")
            << "published, copied by hand" << true << false << false;
        QTest::newRow("the checksums differ, same length and date: updated")
            << "published anew in place" << false << false << false;
        QTest::newRow("the target's checksum unreadable: the date decides")
            << "published, target checksum garbage" << true << true << false;
        QTest::newRow("current, --end-access: the Access holding it kept")
            << "published, copied by hand" << true << false << true;
        QTest::newRow("updated, --end-access: the Access holding it ended")
            << "published anew in place" << false << false << true;
        // Access writes into the front end as it is used: the checksums decide, not its length.
        QTest::newRow("published by tarselcopy, grown by use: current")
            << "published by tarselcopy, grown by use" << true << false << false;
        QTest::newRow("grown by use, --end-access: the Access holding it kept")
            << "published by tarselcopy, grown by use" << true << false << true;
        // Copied beside the master and renamed over it, the old .sha256 still beside it: refused
        // until its checksum follows, then taken.
        QTest::newRow("replaced by hand: refused until its checksum follows")
            << "published, replaced by hand" << false << false << false;
    }

    void ifChanged() {
        QFETCH(QString, since);
        QFETCH(bool, current);
        QFETCH(bool, byDate);
        QFETCH(bool, endAccess);
        if (const QString why = missing(Facility::CreationTime, files_.liveFolder());
            byDate && !why.isEmpty())
            QSKIP(qPrintable(why));
        const auto publish = [&] {
            return writeFile(files_.source + ".sha256",
                             sha256Hex(readFile(files_.source)) + "  app.mdb\n");
        };
        if (since.startsWith("published by tarselcopy")) {
            const QString build = files_.root() + "/build.mdb";
            QVERIFY(writeFile(build, files_.newBytes));
            QCOMPARE(run({"--source", build, "--target", files_.source}).exitCode, 0);
        } else if (since.startsWith("published")) {
            QVERIFY(publish());
        }
        QCOMPARE(run(paths()).exitCode, 0);
        QByteArray grown;
        if (since == "new release") {
            QVERIFY(writeFile(files_.source, patternBytes(300001)));
        } else if (since.endsWith("copied by hand")) {
            QVERIFY(QFile::remove(files_.target) && QFile::copy(files_.source, files_.target));
            FileTimeRecords records;
            QVERIFY(ReadFileDate(records, files_.target, Created) !=
                    ReadFileDate(records, files_.source, Modified).addSecs(60));
        } else if (since == "published anew in place") {
            const QDateTime modified = QFileInfo(files_.source).lastModified();
            QByteArray next = files_.newBytes;
            next[5] = char(~next[5]);
            QVERIFY(writeFile(files_.source, next));
            QFile release(files_.source);
            QVERIFY(release.open(QIODevice::ReadWrite) &&
                    release.setFileTime(modified, QFileDevice::FileModificationTime));
            QVERIFY(publish());
        } else if (since == "published, target checksum garbage") {
            QVERIFY(writeFile(files_.target + ".sha256", "not a checksum\n"));
        } else if (since.endsWith("grown by use")) {
            grown = files_.newBytes + QByteArray(4 << 20, 'u');
            QVERIFY(writeFile(files_.target, grown));
        } else if (since.endsWith("replaced by hand")) {
            const QString copy = files_.source + ".new";
            QVERIFY(writeFile(copy, patternBytes(300001)));
            std::filesystem::rename(copy.toStdWString(), files_.source.toStdWString());
            const Outcome refused = run(paths() << "--if-changed");
            QCOMPARE(refused.exitCode, 3);
            QVERIFY2(refused.err.startsWith("tarselcopy: Error 517 (The new release changed after "
                                            "its published checksum was written: "),
                     qPrintable(refused.err));
            QCOMPARE(readFile(files_.target), files_.newBytes);
            QVERIFY(publish());
        }
        const QDateTime before = modifiedOf(files_.target);
        Child access;
        if (endAccess)
            QVERIFY(startIdleCopy(access, tools_.path(), "MSACCESS.EXE", QString(), false,
                                  files_.target));
        // --check decides as --if-changed does.
        const Outcome checked = run(paths() << "--check");
        QCOMPARE(checked.exitCode, current ? 0 : 1);
        QVERIFY2(checked.out.startsWith((current ? "current " : "behind ") + files_.target + " ("),
                 qPrintable(checked.out + checked.err));
        QStringList arguments = paths() << "--if-changed";
        if (endAccess)
            arguments << "--end-access";
        const Outcome outcome = run(arguments);
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(readFile(files_.target), grown.isEmpty() ? readFile(files_.source) : grown);
        if (endAccess)
            QCOMPARE(stillRunning(access), current);
        if (current) {
            QCOMPARE(outcome.out, "current " + files_.target + '\n');
            QCOMPARE(modifiedOf(files_.target), before);
        } else {
            QVERIFY(outcome.out.startsWith("updated "));
        }
    }

    // --check: what --if-changed would decide, and what each side holds, with nothing changed.
    void check_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("exitCode");
        // Standard output; OLD and NEW the starts of the old and new versions' digests.
        QTest::addColumn<QString>("line");
        QTest::newRow("current by the checksums")
            << "current" << 0 << "current TARGET (in service: release NEW, master: release NEW)";
        QTest::newRow("behind by the checksums")
            << "behind" << 1 << "behind TARGET (in service: release OLD, master: release NEW)";
        QTest::newRow("behind, neither side published")
            << "unpublished" << 1 << "behind TARGET (in service: unknown, master: unknown)";
        QTest::newRow("a first install: no target")
            << "no target" << 1 << "behind TARGET (in service: none, master: release NEW)";
        QTest::newRow("signed, current")
            << "signed current" << 0 << "current TARGET (in service: release 5, master: release 5)";
        QTest::newRow("signed, a newer release on the master")
            << "signed newer" << 1 << "behind TARGET (in service: release 5, master: release 6)";
        // What the run would refuse is no release to be behind of.
        QTest::newRow("signed, an older release on the master")
            << "signed older" << 3 << "failed TARGET (exit 3)";
        QTest::newRow("the master not signed, keys trusted")
            << "unsigned" << 3 << "failed TARGET (exit 3)";
        QTest::newRow("the master missing") << "master missing" << 3 << "failed TARGET (exit 3)";
        QTest::newRow("the master's checksum stale")
            << "stale checksum" << 3 << "failed TARGET (exit 3)";
        QTest::newRow("with --end-access: refused")
            << "end access" << 2 << "failed TARGET (exit 2)";
    }

    void check() {
        QFETCH(QString, situation);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        const QString published = files_.source + ".sha256";
        const QByteArray newHex = sha256Hex(files_.newBytes);
        const QByteArray oldHex = sha256Hex(files_.oldBytes);
        QStringList arguments = paths();
        const bool signedRow = situation.startsWith("signed") || situation == "unsigned";
        if (signedRow) {
            if (const QString why = missing(Facility::ChildSharesSettings); !why.isEmpty())
                QSKIP(qPrintable(why));
            arguments << "--trusted-key" << publicKeyLine("unprotected");
        }
        const auto sign = [&](const QByteArray& bytes, quint64 release) {
            const QByteArray checksum = sha256Hex(bytes) + "  app.mdb\n";
            return writeFile(files_.source, bytes) && writeFile(published, checksum) &&
                   writeFile(published + ".minisig",
                             releaseSignature(checksum, "app.mdb", release));
        };
        if (situation == "current") {
            QVERIFY(writeFile(published, newHex + "  app.mdb\n"));
            QCOMPARE(run(paths()).exitCode, 0);
        } else if (situation == "behind") {
            QVERIFY(writeFile(published, newHex + "  app.mdb\n"));
            QVERIFY(writeFile(files_.target + ".sha256", oldHex + "  app.mdb\n"));
        } else if (situation == "no target") {
            QVERIFY(writeFile(published, newHex + "  app.mdb\n"));
            QVERIFY(QFile::remove(files_.target));
        } else if (situation.startsWith("signed")) {
            QVERIFY(sign(files_.newBytes, 5));
            QCOMPARE(run(arguments).exitCode, 0);
            if (situation == "signed newer")
                QVERIFY(sign(patternBytes(1234), 6));
            else if (situation == "signed older")
                QVERIFY(sign(patternBytes(1234), 4));
        } else if (situation == "unsigned") {
            QVERIFY(writeFile(published, newHex + "  app.mdb\n"));
        } else if (situation == "master missing") {
            QVERIFY(QFile::remove(files_.source));
        } else if (situation == "stale checksum") {
            QVERIFY(writeFile(published, newHex + "  app.mdb\n"));
            QVERIFY(writeFile(files_.target + ".sha256", oldHex + "  app.mdb\n"));
            // Replaced by hand after its checksum was written.
            const QString copy = files_.source + ".new";
            QVERIFY(writeFile(copy, patternBytes(300001)));
            std::filesystem::rename(copy.toStdWString(), files_.source.toStdWString());
        } else if (situation == "end access") {
            arguments << "--end-access";
        }
        const QByteArray before = readFile(files_.target);
        const QDateTime modified = modifiedOf(files_.target);
        const QString log = files_.root() + "/runs.log";
        QFile::remove(log);
        const Outcome outcome = run(arguments << "--check"
                                              << "--log" << log);

        QCOMPARE(outcome.exitCode, exitCode);
        QCOMPARE(outcome.out, QString(line)
                                      .replace("TARGET", files_.target)
                                      .replace("OLD", oldHex.left(12))
                                      .replace("NEW", newHex.left(12)) +
                                  '\n');
        QCOMPARE(outcome.err.isEmpty(), exitCode < 2);
        QCOMPARE(readFile(files_.target), before);
        QCOMPARE(modifiedOf(files_.target), modified);
        QCOMPARE(files_.stagingFiles(), QStringList());
        // Logged as every run, in the words of its result line.
        const QStringList fields = QString::fromUtf8(readFile(log)).split('\t');
        QCOMPARE(fields.size(), 12);
        QCOMPARE(fields[3], outcome.out.section(' ', 0, 0));
        QCOMPARE(fields[4], QString::number(exitCode));
        QCOMPARE(fields[7], "0");
    }

    // One line per run, twelve tab-separated fields, appended: a log on a share gathers many runs.
    // The last two name the version in service at the target afterwards.
    void logLines_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("inService"); // "new", "old" or "" (none known)
        QTest::newRow("updated") << "plain"
                                 << "updated" << 0 << "new";
        QTest::newRow("current") << "current"
                                 << "current" << 0 << "new";
        QTest::newRow("failed: the old version's record") << "release missing"
                                                          << "failed" << 3 << "old";
        QTest::newRow("failed, the old version without a record") << "release missing, no record"
                                                                  << "failed" << 3 << "";
        QTest::newRow("failed, the old version's record garbage")
            << "release missing, garbage record"
            << "failed" << 3 << "";
        QTest::newRow("updated without room for its record: the verified digest")
            << "record folder"
            << "updated" << 0 << "new";
        QTest::newRow("refused: the old version's record") << "--frobnicate"
                                                           << "failed" << 2 << "old";
        // A full share: the half written is taken back, and the next line starts the log.
        QTest::newRow("after a line cut short by a full disk") << "cut short"
                                                               << "updated" << 0 << "new";
    }

    void logLines() {
        QFETCH(QString, situation);
        QFETCH(QString, outcome);
        QFETCH(int, exitCode);
        QFETCH(QString, inService);
        const QString log = files_.root() + "/runs.log";
        QStringList arguments = paths() << "--log" << log;
        if (situation == "current") {
            // Published, so that the checksums decide, also where no creation date is kept.
            QVERIFY(
                writeFile(files_.source + ".sha256", sha256Hex(files_.newBytes) + "  app.mdb\n"));
            QCOMPARE(run(arguments).exitCode, 0);
            arguments << "--if-changed";
        } else if (situation.startsWith("release missing")) {
            QVERIFY(QFile::remove(files_.source));
        } else if (situation == "record folder") {
            QVERIFY(QDir().mkpath(files_.target + ".sha256/held"));
        } else if (situation == "--frobnicate") {
            arguments << situation;
        }
        if (situation.endsWith("garbage record"))
            QVERIFY(writeFile(files_.target + ".sha256", "not a checksum\n"));
        else if (!situation.endsWith("no record") && situation != "record folder" &&
                 situation != "current")
            QVERIFY(
                writeFile(files_.target + ".sha256", sha256Hex(files_.oldBytes) + "  app.mdb\n"));
        if (situation == "cut short") {
            if (const QString why = missing(Facility::FileSizeLimit); !why.isEmpty())
                QSKIP(qPrintable(why));
            std::optional<FileSizeLimit> limit(std::in_place, 50);
            const Outcome full = run(arguments);
            limit.reset();
            QCOMPARE(full.exitCode, 5);
            QVERIFY2(full.err.contains("tarselcopy: warning: the log was not written: Error 61 (" +
                                       log + ": only 50 of the line's "),
                     qPrintable(full.err));
            QCOMPARE(readFile(log), QByteArray());
        }
        QCOMPARE(run(arguments).exitCode, exitCode);

        const QStringList lines = QString::fromUtf8(readFile(log)).split('\n');
        QCOMPARE(lines.size(), situation == "current" ? 3 : 2);
        QCOMPARE(lines.last(), QString());
        const QStringList fields = lines[lines.size() - 2].split('\t');
        QCOMPARE(fields.size(), 12);
        const QDateTime when = QDateTime::fromString(fields[0], Qt::ISODate);
        QVERIFY(when.isValid());
        QVERIFY(fields[0].contains(QRegularExpression("T\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")));
        QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 600);
        QVERIFY(!fields[1].isEmpty() && !fields[2].isEmpty());
        const QString bytes = outcome == "updated" ? "300000" : "0";
        QCOMPARE(fields.mid(3, 5), QStringList({outcome, QString::number(exitCode), files_.source,
                                                files_.target, bytes}));
        if (exitCode == 0 && situation != "record folder")
            QCOMPARE(fields[9], QString());
        else if (exitCode == 3)
            QVERIFY2(fields[9].startsWith("Error 53 ("), qPrintable(fields[9]));
        const QByteArray digest = inService == "new"   ? sha256Hex(files_.newBytes)
                                  : inService == "old" ? sha256Hex(files_.oldBytes)
                                                       : QByteArray();
        QCOMPARE(fields[10], QString::fromLatin1(digest));
        QCOMPARE(fields[11], QString()); // no release here is signed
    }

    // Whatever its surroundings, every run ends with its exit code, its result line and its log
    // line, and never writes its log into what it copies or puts in service.
    void everyRunEndsWithItsLines_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("output"); // ConsoleOutput
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("result"); // the output line's beginning; empty: none to read
        QTest::addColumn<bool>("logged");
        const int read = int(ConsoleOutput::Read);
        QTest::newRow("standard output closed")
            << "plain" << int(ConsoleOutput::Closed) << 0 << QString() << true;
        QTest::newRow("standard output a pipe nobody reads")
            << "plain" << int(ConsoleOutput::PipeNobodyReads) << 0 << QString() << true;
        QTest::newRow("the log a FIFO: refused, not waited for")
            << "log fifo" << read << 0 << "updated " << false;
        QTest::newRow("the log a folder") << "log folder" << read << 0 << "updated " << false;
        QTest::newRow("no target") << "no target" << read << 2 << "failed (exit 2)" << true;
        QTest::newRow("an unknown option") << "--frobnicate" << read << 2 << "failed " << true;
        // Its error names the release: longer than the Event Log takes a string.
        QTest::newRow("a release path of 31,900 characters")
            << "long source" << read << 3 << "failed " << true;
        QTest::newRow("the log is the release") << "log release" << read << 2 << "failed " << false;
        QTest::newRow("the log is the target") << "log target" << read << 2 << "failed " << false;
        QTest::newRow("the log is the target's checksum")
            << "log checksum" << read << 2 << "failed " << false;
        QTest::newRow("the log is a staging file")
            << "log staging" << read << 2 << "failed " << false;
        QTest::newRow("the log is the release's checksum, through a link")
            << "log link release checksum" << read << 2 << "failed " << false;
        QTest::newRow("the log is the release's signature")
            << "log release signature" << read << 2 << "failed " << false;
        QTest::newRow("the log is the target's lock file")
            << "log lock file" << read << 2 << "failed " << false;
        QTest::newRow("the log is a hard link to the target")
            << "log hard link" << read << 2 << "failed " << false;
        // A first install: neither the target nor, through the link, the log may be made.
        QTest::newRow("the log is a link to the target, not there yet")
            << "log dangling link" << read << 2 << "failed " << false;
        QTest::newRow("the log is a link that leads nowhere: not made there")
            << "log link nowhere" << read << 0 << "updated " << false;
    }

    void everyRunEndsWithItsLines() {
        QFETCH(QString, situation);
        QFETCH(int, output);
        QFETCH(int, exitCode);
        QFETCH(QString, result);
        QFETCH(bool, logged);
        if (const QString why = missing(Facility::BrokenOutput);
            output != int(ConsoleOutput::Read) && !why.isEmpty())
            QSKIP(qPrintable(why));
        QString log = files_.root() + "/runs.log";
        QStringList arguments = paths();
        if (situation == "log fifo") {
            if (const QString why = missing(Facility::Fifo); !why.isEmpty())
                QSKIP(qPrintable(why));
            QVERIFY(makeFifo(log));
        } else if (situation == "log folder") {
            QVERIFY(QDir().mkdir(log));
        } else if (situation == "no target") {
            arguments = QStringList{"--source", files_.source, "--target", ""};
        } else if (situation == "--frobnicate") {
            arguments << situation;
        } else if (situation == "long source") {
            arguments[1] = files_.root() + '/' + QString(31'900 - files_.root().size(), u'r');
        } else if (situation == "log release") {
            log = files_.source;
        } else if (situation == "log target") {
            log = files_.target;
        } else if (situation == "log checksum") {
            log = files_.target + ".sha256";
        } else if (situation == "log staging") {
            log = files_.liveFolder() + "/.app.mdb.tarsel-AbCdEf012345";
        } else if (situation == "log release signature") {
            log = files_.source + ".sha256.minisig";
        } else if (situation == "log lock file") {
            log = files_.liveFolder() + "/app.ldb";
        } else if (situation == "log hard link") {
            if (const QString why = missing(Facility::HardLink, files_.root()); !why.isEmpty())
                QSKIP(qPrintable(why));
            QVERIFY(makeHardLink(files_.target, log));
        } else if (situation.startsWith("log link") || situation == "log dangling link") {
            if (const QString why = missing(Facility::SymbolicLink, files_.root()); !why.isEmpty())
                QSKIP(qPrintable(why));
            QVERIFY(QDir(files_.root()).mkdir("elsewhere"));
            QString to = files_.root() + "/elsewhere/runs.log";
            if (situation == "log link release checksum") {
                to = files_.source + ".sha256";
                QVERIFY(writeFile(to, sha256Hex(files_.newBytes) + "  app.mdb\n"));
            } else if (situation == "log dangling link") {
                to = files_.target;
                QVERIFY(QFile::remove(files_.target));
            }
            QVERIFY(makeSymbolicLink(to, log));
        }
        const QByteArray release = readFile(files_.source);
        const QByteArray old = readFile(files_.target);
        const bool logThere = QFileInfo::exists(log); // through a link, where it is one
        // Never read a FIFO: that would wait for a writer.
        const auto contents = [&] {
            return QFileInfo(log).isFile() ? readFile(log) : QByteArray();
        };
        const QByteArray logBefore = contents();
        const Outcome outcome = run(arguments << "--log" << log, ConsoleOutput(output));

        QCOMPARE(outcome.exitCode, exitCode);
        if (!result.isEmpty())
            QVERIFY2(outcome.out.startsWith(result), qPrintable(outcome.out + outcome.err));
        // Its event too, which the system's log took (what the log holds only Windows shows).
        QVERIFY2(!outcome.err.contains("the event was not written"),
                 qPrintable(outcome.err.left(2000)));
        QCOMPARE(readFile(files_.source), release);
        QCOMPARE(readFile(files_.target), exitCode == 0 ? release : old);
        QCOMPARE(files_.stagingFiles(), QStringList());
        if (logged) {
            const QStringList fields = QString::fromUtf8(readFile(log)).split('\t');
            QCOMPARE(fields.size(), 12);
            QCOMPARE(fields[4], QString::number(exitCode));
        } else if (exitCode == 0) {
            const QString why = situation == "log link nowhere" ? "a symbolic link to no file"
                                                                : "Not a regular file";
            QVERIFY2(outcome.err.contains("tarselcopy: warning: the log was not written: "
                                          "Error 75 (" +
                                          log + ": " + why + ")"),
                     qPrintable(outcome.err));
        } else {
            QVERIFY2(outcome.err.startsWith("tarselcopy: --log '" + log + "' would write into "),
                     qPrintable(outcome.err));
            QVERIFY(!QFileInfo::exists(files_.target + ".sha256"));
            QVERIFY(!QFileInfo::exists(files_.liveFolder() + "/.app.mdb.tarsel-AbCdEf012345"));
        }
        if (!logged) {
            QCOMPARE(QFileInfo::exists(log), logThere);
            QCOMPARE(contents(), logBefore);
        }
        if (situation == "log dangling link")
            QVERIFY(!QFileInfo::exists(files_.target));
    }

    void opensTheTargetAfterwards_data() {
        QTest::addColumn<bool>("releaseThere");
        QTest::newRow("the new version") << true;
        QTest::newRow("the old version, when the run failed") << false;
    }

    void opensTheTargetAfterwards() {
        QFETCH(bool, releaseThere);
        if (const QString why = missing(Facility::StandInOpener); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (!releaseThere)
            QVERIFY(QFile::remove(files_.source));
        QCOMPARE(run(paths() << "--open").exitCode, releaseThere ? 0 : 3);
        QTRY_VERIFY(QFileInfo::exists(opened_));
        QTRY_COMPARE(QString::fromUtf8(readFile(opened_)), files_.target);
    }

    // Ctrl+C or SIGTERM while the run waits for Access to close: nothing is replaced, nothing is
    // left behind, and from then on nobody is asked or ended.
    void cancelKeepsTheOldVersion() {
        for (Facility needed : {Facility::AskToClose, Facility::InterruptChild})
            if (const QString why = missing(needed); !why.isEmpty())
                QSKIP(qPrintable(why));
        Child access;
        QVERIFY(
            startIdleCopy(access, tools_.path(), "MSACCESS.EXE", QString(), true, files_.target));
        QProcess tarselcopy;
        start(tarselcopy, paths() << "--end-access");
        QVERIFY(tarselcopy.waitForStarted());
        // Asked once the copy is verified: the cancel comes in the grace.
        QByteArray said;
        QTRY_VERIFY((said += tarselcopy.readAllStandardError()).contains(" to close"));
        QVERIFY(catchesInterrupts(tarselcopy.processId()));
        tarselcopy.terminate();
        Outcome outcome = finish(tarselcopy);
        outcome.err.prepend(QString::fromUtf8(said));
        QVERIFY2(outcome.err.startsWith("tarselcopy: asked MSACCESS.EXE (pid " +
                                        QString::number(access.processId()) + ") to close\n"),
                 qPrintable(outcome.err));
        QCOMPARE(outcome.exitCode, 8);
        QVERIFY(outcome.out.startsWith("cancelled "));
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QCOMPARE(files_.stagingFiles(), QStringList());
        // Asked, and deaf to it: the grace it was left would have ended with its end, which the
        // cancel called off.
        QCOMPARE(access.state(), QProcess::Running);
    }

    // The waits of a run: no longer than asked, and cancelled by Ctrl+C or SIGTERM with the old
    // version whole and the cancel logged.
    void waits_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("a random delay of 1 s at most")
            << QStringList{"--random-delay", "1"} << false;
        QTest::newRow("a random delay cancelled") << QStringList{"--random-delay", "3600"} << true;
        QTest::newRow("a wait between tries cancelled")
            << QStringList{"--retry", "3:3600", "--source", "missing.mdb"} << true;
    }

    void waits() {
        QFETCH(QStringList, options);
        QFETCH(bool, cancel);
        if (const QString why = missing(Facility::InterruptChild); cancel && !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString log = files_.root() + "/runs.log";
        QProcess tarselcopy;
        start(tarselcopy, paths() << options << "--log" << log);
        QVERIFY(tarselcopy.waitForStarted());
        QByteArray said;
        if (cancel) {
            QTRY_VERIFY(catchesInterrupts(tarselcopy.processId()));
            // Between tries once the first has failed.
            if (options.contains("--retry"))
                QTRY_VERIFY((said += tarselcopy.readAllStandardError()).contains("trying again"));
            tarselcopy.terminate();
        }
        Outcome outcome = finish(tarselcopy);
        // What was said before the cancel is the failed try's.
        outcome.err.remove(0, outcome.err.indexOf("tarselcopy: Error 18 "));
        const QStringList fields = QString::fromUtf8(readFile(log)).split('\t');
        QCOMPARE(fields.size(), 12);
        if (cancel) {
            QCOMPARE(outcome.exitCode, 8);
            QCOMPARE(outcome.out, "cancelled " + files_.target + " (exit 8)\n");
            QCOMPARE(outcome.err, "tarselcopy: Error 18 (User interrupt occurred)\n");
            QCOMPARE(readFile(files_.target), files_.oldBytes);
            QCOMPARE(files_.stagingFiles(), QStringList());
            QCOMPARE(fields.mid(3, 2), QStringList({"cancelled", "8"}));
            QVERIFY2(fields[9].startsWith("Error 18 (User interrupt occurred)"),
                     qPrintable(fields[9]));
            // The failed try that the wait was for stays in the log.
            QCOMPARE(fields[9].contains("; while waiting to try again after: Error 53 ("),
                     options.contains("--retry"));
        } else {
            QCOMPARE(outcome.exitCode, 0);
            QCOMPARE(readFile(files_.target), files_.newBytes);
            // The wait is part of the run's seconds, and no more than it was allowed.
            QVERIFY2(fields[8].toDouble() < options.last().toDouble() + 10, qPrintable(fields[8]));
        }
    }

    // --retry tries again what may pass, and only that; the one result line and log line say how
    // many tries it took, and a failed run leaves the old version whole.
    void retries_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("retry"); // the option's value; empty: none given
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("tries");
        QTest::newRow("the swap refused once: in service at the second try") << "swap refused once"
                                                                             << "3:0" << 0 << 2;
        QTest::newRow("the release not reachable: tried again, to the last try")
            << "release missing"
            << "2:0" << 3 << 3;
        QTest::newRow("the release not reachable, no --retry") << "release missing"
                                                               << "" << 3 << 1;
        QTest::newRow("--retry 0: one try") << "release missing"
                                            << "0" << 3 << 1;
        QTest::newRow("published meanwhile: taken at the next try") << "published meanwhile"
                                                                    << "1:1.5" << 0 << 2;
        QTest::newRow("a checksum that stays stale: not tried again") << "stale checksum"
                                                                      << "3:0" << 3 << 1;
        QTest::newRow("a checksum file sha256sum would not read: not tried again")
            << "checksum garbage"
            << "3:0" << 3 << 1;
        QTest::newRow("not signed: not tried again") << "unsigned"
                                                     << "3:0" << 3 << 1;
        QTest::newRow("the same file: not tried again") << "same file"
                                                        << "3:0" << 2 << 1;
        QTest::newRow("disk full: not tried again") << "disk full"
                                                    << "3:0" << 5 << 1;
    }

    void retries() {
        QFETCH(QString, situation);
        QFETCH(QString, retry);
        QFETCH(int, exitCode);
        QFETCH(int, tries);
        QStringList arguments = paths();
        QStringList wrapper;
        const QString published = files_.source + ".sha256";
        const QByteArray line = sha256Hex(files_.newBytes) + "  app.mdb\n";
        if (situation == "swap refused once") {
            if (const QString why = missing(Facility::SystemCallFaults); !why.isEmpty())
                QSKIP(qPrintable(why));
            wrapper = withFailingCalls(QString(), "rename", "EIO:when=1");
        } else if (situation == "release missing") {
            QVERIFY(QFile::remove(files_.source));
        } else if (situation == "stale checksum" || situation == "published meanwhile") {
            // The release written after its checksum, as a publish under way leaves it.
            QVERIFY(writeFile(published, sha256Hex(files_.oldBytes) + "  app.mdb\n"));
            QVERIFY(writeFile(files_.source, files_.newBytes));
        } else if (situation == "checksum garbage") {
            QVERIFY(writeFile(published, patternBytes(500)));
        } else if (situation == "unsigned") {
            QVERIFY(writeFile(published, line));
            arguments << "--trusted-key" << publicKeyLine("unprotected");
        } else if (situation == "same file") {
            arguments[3] = files_.source;
        }
        std::optional<FileSizeLimit> limit;
        if (situation == "disk full") {
            if (const QString why = missing(Facility::FileSizeLimit); !why.isEmpty())
                QSKIP(qPrintable(why));
            limit.emplace(1000);
        }
        const QByteArray old = readFile(files_.target);
        const QString log = files_.root() + "/runs.log";
        if (!retry.isEmpty())
            arguments << "--retry" << retry;
        QProcess tarselcopy;
        start(tarselcopy, arguments << "--log" << log, ConsoleOutput::Read, wrapper);
        QByteArray said;
        if (situation == "published meanwhile") {
            QTRY_VERIFY((said += tarselcopy.readAllStandardError()).contains("trying again in "));
            QVERIFY(writeFile(published, line));
        }
        Outcome outcome = finish(tarselcopy);
        limit.reset();
        outcome.err.prepend(QString::fromUtf8(said));

        QCOMPARE(outcome.exitCode, exitCode);
        const QString tried = tries > 1 ? QString("after %1 tries").arg(tries) : QString();
        QCOMPARE(outcome.out.count('\n'), 1);
        if (tries > 1)
            QVERIFY2(outcome.out.endsWith(", " + tried + ")\n"), qPrintable(outcome.out));
        else
            QVERIFY2(!outcome.out.contains(" tries"), qPrintable(outcome.out));
        const QStringList fields = QString::fromUtf8(readFile(log)).split('\t');
        QCOMPARE(fields.size(), 12);
        QCOMPARE(fields[4], QString::number(exitCode));
        QVERIFY2(fields[9].endsWith(tried), qPrintable(fields[9]));
        QCOMPARE(fields[9].contains(" tries"), tries > 1);
        // A stale checksum is waited for once, then left where nothing changed.
        const bool waitedInVain = situation == "stale checksum";
        QCOMPARE(outcome.err.count("tarselcopy: trying again in "), tries - 1 + waitedInVain);
        QCOMPARE(outcome.err.contains("not tried again: neither the release nor its checksum "
                                      "changed"),
                 waitedInVain);
        QCOMPARE(readFile(files_.target), exitCode == 0 ? files_.newBytes : old);
        QCOMPARE(files_.stagingFiles(), QStringList());
    }

    // The computer's policies set what a run's command line leaves out, and win over what it gives
    // unless they let it override them.
    void policies_data() {
        QTest::addColumn<QStringList>("policies"); // NAME=TEXT
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // in the result line
        QTest::addColumn<bool>("warned");  // that the policy replaced an option given
        QTest::addColumn<QString>("log");  // the file the log line went into, if any
        const QStringList none;
        QTest::newRow("the log from the policy")
            << QStringList{"LogFile=policy.log"} << none << "plain" << 0 << "updated " << false
            << "policy.log";
        QTest::newRow("the policy's log wins over --log")
            << QStringList{"LogFile=policy.log"} << QStringList{"--log", "given.log"} << "plain"
            << 0 << "updated " << true << "policy.log";
        QTest::newRow("--log where the policy lets the command line override it")
            << QStringList{"LogFile=policy.log", "LogFileCommandLine=1"}
            << QStringList{"--log", "given.log"} << "plain" << 0 << "updated " << false
            << "given.log";
        QTest::newRow("a run refused for its command line: logged where the policy says")
            << QStringList{"LogFile=policy.log"} << QStringList{"--frobnicate"} << "plain" << 2
            << "failed " << false << "policy.log";
        QTest::newRow("--if-changed from the policy")
            << QStringList{"IfChanged=1"} << none << "current" << 0 << "current " << false << "";
        QTest::newRow("IfChanged 0 wins over --if-changed")
            << QStringList{"IfChanged=0"} << QStringList{"--if-changed"} << "current" << 0
            << "updated " << true << "";
        QTest::newRow("IfChanged neither 1 nor 0: refused")
            << QStringList{"IfChanged=yes"} << none << "plain" << 2 << "failed " << false << "";
        QTest::newRow("--retry from the policy")
            << QStringList{"Retry=2:0"} << none << "release missing" << 3 << ", after 3 tries)"
            << false << "";
        QTest::newRow("the policy's Retry wins over --retry 0")
            << QStringList{"Retry=1:0"} << QStringList{"--retry", "0"} << "release missing" << 3
            << ", after 2 tries)" << true << "";
        QTest::newRow("RandomDelay not a number: refused")
            << QStringList{"RandomDelay=soon"} << none << "plain" << 2 << "failed " << false << "";
        QTest::newRow("the policy's trusted key wins over --trusted-key")
            << QStringList{"TrustedKeys=unprotected"} << QStringList{"--trusted-key", "other"}
            << "signed" << 0 << "updated " << true << "";
        QTest::newRow("--trusted-key where the policy lets the command line override it")
            << QStringList{"TrustedKeys=unprotected", "TrustedKeysCommandLine=1"}
            << QStringList{"--trusted-key", "other"} << "signed" << 3 << "failed " << false << "";
        // A policy for runs asks nothing of --check.
        QTest::newRow("--check with EndAccess and Retry set")
            << QStringList{"EndAccess=1", "Retry=3:0"} << QStringList{"--check"} << "plain" << 1
            << "behind " << false << "";
    }

    void policies() {
        QFETCH(QStringList, policies);
        QFETCH(QStringList, options);
        QFETCH(QString, situation);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(bool, warned);
        QFETCH(QString, log);
        if (const QString why = missing(Facility::ChildSharesSettings); !why.isEmpty())
            QSKIP(qPrintable(why));
        // Files by name in the test's folder, keys by their fixture's name.
        const auto resolved = [&](const QString& value) {
            if (value.endsWith(".log"))
                return files_.root() + '/' + value;
            if (value == "unprotected" || value == "other")
                return publicKeyLine(value);
            return value;
        };
        for (QString& option : options)
            option = resolved(option);
        const QString published = files_.source + ".sha256";
        const QByteArray line = sha256Hex(files_.newBytes) + "  app.mdb\n";
        if (situation == "current") {
            QVERIFY(writeFile(published, line));
            QCOMPARE(run(paths()).exitCode, 0);
        } else if (situation == "release missing") {
            QVERIFY(QFile::remove(files_.source));
        } else if (situation == "signed") {
            QVERIFY(writeFile(published, line));
            QVERIFY(writeFile(published + ".minisig", releaseSignature(line, "app.mdb", 5)));
        }
        IsolatedPresets presets;
        for (const QString& policy : policies)
            QVERIFY(presets.set(IsolatedPresets::Scope::Computer, policy.section('=', 0, 0),
                                resolved(policy.section('=', 1))));
        const Outcome outcome = run(paths() << options);

        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(outcome.out.contains(said), qPrintable(outcome.out + outcome.err));
        QCOMPARE(outcome.err.contains("tarselcopy: warning: the computer's policy "), warned);
        if (exitCode == 2 && options.isEmpty())
            QVERIFY2(outcome.err.startsWith("tarselcopy: the computer's policy " +
                                            policies.first().section('=', 0, 0) + ": "),
                     qPrintable(outcome.err));
        for (const QString& file : {QString("policy.log"), QString("given.log")})
            QCOMPARE(QFileInfo::exists(files_.root() + '/' + file), file == log);
        if (!log.isEmpty())
            QCOMPARE(QString::fromUtf8(readFile(files_.root() + '/' + log)).split('\t').value(4),
                     QString::number(exitCode));
        QCOMPARE(readFile(files_.target), exitCode == 0 && said == "updated " ? files_.newBytes
                                          : situation == "current"            ? files_.newBytes
                                                                              : files_.oldBytes);
    }

    void endAccessEndsOnlyWhatIsInTheWay_data() {
        QTest::addColumn<QString>("image"); // of the program started beside the run
        QTest::addColumn<QString>("holds"); // "target", "lock file" or nothing
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<int>("exitCode"); // where the program is not in the swap's way
        QTest::newRow("Access holding the target: ended") << "MSACCESS.EXE"
                                                          << "target"
                                                          << "" << true << 0;
        QTest::newRow("Access holding the lock file: ended") << "MSACCESS.EXE"
                                                             << "lock file"
                                                             << "" << true << 0;
        QTest::newRow("Access holding nothing: kept") << "MSACCESS.EXE"
                                                      << ""
                                                      << "" << false << 0;
        QTest::newRow("another program holding the target: kept") << "EXCEL.EXE"
                                                                  << "target"
                                                                  << "" << false << 0;
        // Nothing is ended for a copy that cannot happen.
        QTest::newRow("release missing: Access holding the target kept")
            << "MSACCESS.EXE"
            << "target"
            << "release missing" << false << 3;
        QTest::newRow("release differs from its checksum: Access holding the target kept")
            << "MSACCESS.EXE"
            << "target"
            << "checksum differs" << false << 3;
        // A lock file that cannot be looked at tells nothing of who holds the target: an Access
        // with another database open is no holder.
        QTest::newRow("the lock file a folder: Access holding nothing kept")
            << "MSACCESS.EXE"
            << ""
            << "lock file folder" << false << 0;
        QTest::newRow("the lock file a link loop: Access holding nothing kept")
            << "MSACCESS.EXE"
            << ""
            << "lock file loop" << false << 0;
        QTest::newRow("the lock file a folder: Access holding the target ended")
            << "MSACCESS.EXE"
            << "target"
            << "lock file folder" << true << 0;
    }

    // --end-access with a program of the test's own standing in for Access or another program.
    // Whom it asked to close and whom it ended is said on standard error and kept in the log.
    void endAccessEndsOnlyWhatIsInTheWay() {
        QFETCH(QString, image);
        QFETCH(QString, holds);
        QFETCH(QString, situation);
        QFETCH(bool, ended);
        QFETCH(int, exitCode);
        const QString lockFile = files_.liveFolder() + "/app.ldb";
        if (situation == "lock file folder") {
            QVERIFY(QDir().mkdir(lockFile));
        } else if (situation == "lock file loop") {
            if (const QString why = missing(Facility::SymbolicLink, files_.liveFolder());
                !why.isEmpty())
                QSKIP(qPrintable(why));
            QVERIFY(makeSymbolicLink(lockFile, lockFile));
        } else {
            QVERIFY(writeFile(lockFile, lockFileSlot("DESK-12", "Admin")));
        }
        if (situation == "release missing")
            QVERIFY(QFile::remove(files_.source));
        if (situation == "checksum differs")
            QVERIFY(writeFile(files_.source + ".sha256", QByteArray(64, '0') + "  app.mdb\n"));
        // Under Wine an Access that holds the lock file alone is not seen; one that holds the
        // target without sharing is, through the fallback on all of this user's Access.
        if (holds == "lock file" && !wineVersion().isEmpty())
            QSKIP(qPrintable(WineListsNobody));
        Child program;
        QVERIFY(startIdleCopy(program, tools_.path(), image, QString(), false,
                              holds == "target"      ? files_.target
                              : holds == "lock file" ? lockFile
                                                     : QString()));
        const qint64 pid = program.processId();
        const QString log = files_.root() + "/runs.log";
        const Outcome outcome = run(paths() << "--end-access"
                                            << "--log" << log);

        // Where a program holding the target keeps it from being replaced, the run says who.
        const bool blocked = exitCode == 0 && holds == "target" && !ended &&
                             missing(Facility::HeldFileBlocksSwap).isEmpty();
        QCOMPARE(outcome.exitCode, blocked ? 4 : exitCode);
        QCOMPARE(readFile(files_.target),
                 blocked || exitCode != 0 ? files_.oldBytes : files_.newBytes);
        if (ended)
            QTRY_COMPARE(program.state(), QProcess::NotRunning);
        else
            QVERIFY2(stillRunning(program), qPrintable(outcome.out + outcome.err));
        // One that closes when asked was asked, one with nothing to ask was ended.
        const QString who = QStringLiteral("%1 (pid %2)").arg(image).arg(pid);
        const QStringList told = !ended ? QStringList()
                                 : missing(Facility::AskToClose).isEmpty()
                                     ? QStringList{"asked " + who + " to close"}
                                     : QStringList{"ended " + who};
        QStringList said = outcome.err.split('\n', Qt::SkipEmptyParts);
        said = said.filter(QRegularExpression("^tarselcopy: (asked|ended) "));
        said.replaceInStrings(QRegularExpression("^tarselcopy: "), QString());
        QCOMPARE(said, told);
        const QString logged = QString::fromUtf8(readFile(log)).split('\t').value(9).trimmed();
        for (const QString& line : told)
            QVERIFY2(logged.contains(line), qPrintable(logged));
        if (told.isEmpty())
            QVERIFY2(!logged.contains("asked ") && !logged.contains("ended "), qPrintable(logged));
    }

    void who_data() {
        QTest::addColumn<QString>("image"); // of a program holding a file, if any
        QTest::addColumn<QString>("holds"); // "target" or "lock file"
        QTest::addColumn<QByteArray>("lockFile");
        QTest::addColumn<QStringList>("recorded"); // the lines for the lock file's computers
        QTest::addColumn<QString>("shown");        // the image as the line names it
        const QString in = "recorded in app.ldb (may include people who have left): ";
        QStringList all;
        for (int i = 1; i <= 255; ++i)
            all << in + QStringLiteral("DESK-%1 (Admin)").arg(i);
        const QByteArray two = lockFileSlot("DESK-12", "Admin") + lockFileSlot("DESK-40", "jane");
        QTest::newRow("Access holding it, two computers recorded")
            << "MSACCESS.EXE"
            << "target" << two << QStringList{in + "DESK-12 (Admin)", in + "DESK-40 (jane)"}
            << QString("MSACCESS.EXE");
        QTest::newRow("another program holding the lock file")
            << "EXCEL.EXE"
            << "lock file" << two << QStringList{in + "DESK-12 (Admin)", in + "DESK-40 (jane)"}
            << QString("EXCEL.EXE");
        QTest::newRow("255 computers") << ""
                                       << "" << numberedLockFileSlots(255) << all << QString();
        QTest::newRow("a record cut short")
            << ""
            << "" << two.left(100) << QStringList{in + "DESK-12 (Admin)"} << QString();
        QTest::newRow("one computer in two records")
            << ""
            << "" << two.left(64) + two.left(64) << QStringList{in + "DESK-12 (Admin)"}
            << QString();
        QTest::newRow("garbage") << ""
                                 << "" << QByteArray(4096, '\x02') << QStringList{} << QString();
        QTest::newRow("no lock file") << ""
                                      << "" << QByteArray("none") << QStringList{} << QString();
        // Run by an account that cannot look into this test's programs: it says so.
        QTest::newRow("another account's Access holding it: said to be unseen")
            << "MSACCESS.EXE"
            << "target" << QByteArray("none") << QStringList{} << QString();
        // A name that another user gave a process, shown raw, would retitle and clear the terminal.
        QTest::newRow("a program named with control characters")
            << Retitling << "target" << QByteArray("none") << QStringList{} << RetitlingShown;
    }

    // What an administrator runs before publishing: one line for each program holding the target
    // or its lock file and for each computer the lock file records, or one that says nobody is
    // known; nothing copied, ended or logged.
    void who() {
        QFETCH(QString, image);
        QFETCH(QString, holds);
        QFETCH(QByteArray, lockFile);
        QFETCH(QStringList, recorded);
        QFETCH(QString, shown);
        if (image == Retitling)
            if (const QString why = missing(Facility::AnyCharacterInNames, tools_.path());
                !why.isEmpty())
                QSKIP(qPrintable(why));
        const QString lockPath = files_.liveFolder() + "/app.ldb";
        if (lockFile != "none")
            QVERIFY(writeFile(lockPath, lockFile));
        Child program;
        if (!image.isEmpty())
            QVERIFY(startIdleCopy(program, tools_.path(), image, QString(), false,
                                  holds == "target" ? files_.target : lockPath));
        const bool asNobody = QString(QTest::currentDataTag()).endsWith("said to be unseen");
        QStringList wrapper;
        if (asNobody) {
            if (!runsAsRoot() || !wineVersion().isEmpty() ||
                QStandardPaths::findExecutable("setpriv").isEmpty())
                QSKIP("needs root and setpriv, to run as another account on Linux");
            wrapper =
                QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
            // The target must be there for it to look for: a folder it cannot search holds
            // nothing it could be told of.
            for (const QString& folder : {files_.root(), files_.liveFolder()})
                QVERIFY(QFile::setPermissions(folder, QFile::permissions(folder) |
                                                          QFile::ReadOther | QFile::ExeOther));
        }
        // What an unprivileged account is told wherever it cannot look into root's programs.
        const QString unseen =
            "tarselcopy: warning: the programs of other accounts cannot be seen from this one; "
            "they may hold " +
            files_.target + " too (as root they are seen)\n";
        const QString log = files_.root() + "/runs.log";
        const Outcome outcome =
            run({"--who", "--target", files_.target, "--log", log}, ConsoleOutput::Read, wrapper);

        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QCOMPARE(files_.stagingFiles(), QStringList());
        QVERIFY(!QFileInfo::exists(log));
        QStringList lines = outcome.out.split('\n');
        QCOMPARE(lines.takeLast(), QString());
        const QString quiet = runsAsRoot() || !wineVersion().isEmpty() ? QString() : unseen;
        if (asNobody) {
            QCOMPARE(lines, QStringList{"nobody is known to hold " + files_.target});
            QCOMPARE(outcome.err, unseen);
            QVERIFY(stillRunning(program));
            return;
        }
        if (image.isEmpty()) {
            QCOMPARE(lines, recorded.isEmpty()
                                ? QStringList{"nobody is known to hold " + files_.target}
                                : recorded);
            QCOMPARE(outcome.err, quiet);
            return;
        }
        QVERIFY(stillRunning(program));
        const QString local =
            QStringLiteral("held by %1 (pid %2)").arg(shown).arg(program.processId());
        if (!wineVersion().isEmpty()) {
            QCOMPARE(lines.filter("held by "), QStringList());
            QCOMPARE(lines, recorded);
            QSKIP(qPrintable("all but the program holding it checked: " + WineListsNobody));
        }
        QCOMPARE(lines, QStringList{local} + recorded);
        QCOMPARE(outcome.err, quiet);
    }

    void heldTargetNamesWhoHoldsIt_data() {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QByteArray>("lockFile");
        QTest::addColumn<QString>("recorded"); // what the error says of the lock file
        QTest::addColumn<QString>("shown");    // the image as the error names it
        QTest::newRow("Access holding it, two computers recorded")
            << "MSACCESS.EXE" << lockFileSlot("DESK-12", "Admin") + lockFileSlot("DESK-40", "Admin")
            << "recorded in app.ldb (may include people who have left): DESK-12 (Admin), DESK-40 "
               "(Admin)"
            << "MSACCESS.EXE";
        QTest::newRow("another program holding it, nothing recorded")
            << "EXCEL.EXE" << QByteArray() << QString() << "EXCEL.EXE";
        QTest::newRow("a program named with control characters")
            << Retitling << QByteArray() << QString() << RetitlingShown;
    }

    // Exit 4 for a target held open: the error line and the log name who holds it. On Linux,
    // where nothing holds a file against the rename, the rename is failed on purpose (strace's
    // path filter does not see a rename's second path: every rename fails, and the swap is the
    // run's only one).
    void heldTargetNamesWhoHoldsIt() {
        QFETCH(QString, image);
        QFETCH(QByteArray, lockFile);
        QFETCH(QString, recorded);
        QFETCH(QString, shown);
        if (image == Retitling)
            if (const QString why = missing(Facility::AnyCharacterInNames, tools_.path());
                !why.isEmpty())
                QSKIP(qPrintable(why));
        QStringList wrapper;
        if (const QString why = missing(Facility::HeldFileBlocksSwap); !why.isEmpty()) {
            if (const QString noFaults = missing(Facility::SystemCallFaults); !noFaults.isEmpty())
                QSKIP(qPrintable(why + "; " + noFaults));
            wrapper = withFailingCalls(QString(), "rename,renameat,renameat2", "EBUSY");
        }
        if (!lockFile.isEmpty())
            QVERIFY(writeFile(files_.liveFolder() + "/app.ldb", lockFile));
        Child program;
        QVERIFY(startIdleCopy(program, tools_.path(), image, QString(), false, files_.target));
        const QString log = files_.root() + "/runs.log";
        const Outcome outcome = run(paths() << "--log" << log, ConsoleOutput::Read, wrapper);

        QCOMPARE(outcome.exitCode, 4);
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QVERIFY(stillRunning(program));
        const QString error = outcome.err.trimmed();
        QVERIFY2(error.startsWith("tarselcopy: Error ") && error.endsWith(')'), qPrintable(error));
        const QString logged = QString::fromUtf8(readFile(log)).split('\t').value(9).trimmed();
        QCOMPARE("tarselcopy: " + logged, error);
        // Windows' texts end in a full stop, which must not stand before the names.
        QVERIFY2(!error.contains(".;"), qPrintable(error));
        const QString local =
            QStringLiteral("held by %1 (pid %2)").arg(shown).arg(program.processId());
        // Wine's Restart Manager lists nobody, and the target held without sharing makes the table
        // answer that it cannot tell: there the error names only what the lock file records.
        if (!wineVersion().isEmpty()) {
            QVERIFY2(!error.contains("held by"), qPrintable(error));
            QVERIFY2(recorded.isEmpty() ? !error.contains("; ")
                                        : error.endsWith("; " + recorded + ")"),
                     qPrintable(error));
            QSKIP(qPrintable("all but the program holding it checked: " + WineListsNobody));
        }
        const QString names = recorded.isEmpty() ? local : local + "; " + recorded;
        QVERIFY2(error.endsWith("; " + names + ")"), qPrintable(error));
    }

    // Which desk runs which release: the desks' last runs, against the master where one is named,
    // from a log that holds whatever a share's writers put into it.
    void report_data() {
        QTest::addColumn<QByteArray>("log");        // "@NEW"/"@OLD": the digests of the fixture
        QTest::addColumn<QStringList>("arguments"); // "@MASTER": the fixture's release
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("rows"); // CSV, or the text's columns joined by '|'
        QTest::addColumn<QString>("summary");  // or the error's beginning
        const QByteArray a(64, 'a'), b(64, 'b');
        const QString t1 = "2026-12-09T07:00:00+01:00", t2 = "2026-12-09T08:00:00+01:00";
        const QString header = "computer,user,target,last run,outcome,exit,release,digest,master,"
                               "error";
        const QStringList csv{"--csv"};
        QTest::newRow("several desks, by computer")
            << logLine(t1, "DESK-2", "bob", "updated", 0, "C:/s/app.mdb", a, "42") +
                   logLine(t1, "DESK-1", "amy", "current", 0, "C:/s/app.mdb", a, "42") +
                   logLine(t2, "desk-1", "amy", "updated", 0, "D:/app.mdb", b)
            << csv << 0
            << QStringList{header, "DESK-1,amy,C:/s/app.mdb," + t1 + ",current,0,42," + a + ",,",
                           "desk-1,amy,D:/app.mdb," + t2 + ",updated,0,bbbbbbbbbbbb," + b + ",,",
                           "DESK-2,bob,C:/s/app.mdb," + t1 + ",updated,0,42," + a + ",,"}
            << "3 desks: 2 on release 42, 1 on release bbbbbbbbbbbb";
        // Runs start in one time zone and end in another order: the latest start counts.
        QTest::newRow("the last run counts, also one appended late")
            << logLine("2026-12-09T09:00:00+02:00", "DESK-1", "amy", "updated", 0, "C:/app.mdb", a,
                       "41") +
                   logLine("2026-12-09T07:30:00Z", "DESK-1", "amy", "updated", 0, "C:/app.mdb", a,
                           "40") +
                   logLine("2026-12-09T07:30:00+00:00", "DESK-1", "amy", "updated", 0, "C:/app.mdb",
                           b, "42") +
                   logLine("2026-12-09T08:10:00+01:00", "DESK-1", "amy", "updated", 0, "C:/app.mdb",
                           a, "41")
            << csv << 0
            << QStringList{header, "DESK-1,amy,C:/app.mdb,2026-12-09T07:30:00+00:00,updated,0,"
                                   "42," +
                                       b + ",,"}
            << "1 desk: 1 on release 42; 1 line skipped, not log lines";
        QTest::newRow("failed desks by exit code, with their errors")
            << logLine(t1, "D1", "u", "updated", 0, "/a", a, "42") +
                   logLine(t1, "D2", "u", "failed", 3, "/a", b, "41",
                           "Error 53 (/srv/app.mdb: File not found)") +
                   logLine(t1, "D3", "u", "failed", 3, "/a", "", "",
                           "Error 76 (/a: Path not found)") +
                   logLine(t1, "D4", "u", "failed", 5, "/a", b, "41", "Error 61 (/a: Disk full)") +
                   logLine(t1, "D5", "u", "cancelled", 8, "/a", b, "41", "Error 18 (Cancelled)")
            << QStringList() << 0
            << QStringList{"COMPUTER|USER|TARGET|LAST RUN|OUTCOME|EXIT|RELEASE|ERROR",
                           "D1|u|/a|" + t1 + "|updated|0|42",
                           "D2|u|/a|" + t1 + "|failed|3|41|Error 53 (/srv/app.mdb: File not found)",
                           "D3|u|/a|" + t1 + "|failed|3|unknown|Error 76 (/a: Path not found)",
                           "D4|u|/a|" + t1 + "|failed|5|41|Error 61 (/a: Disk full)",
                           "D5|u|/a|" + t1 + "|cancelled|8|41|Error 18 (Cancelled)"}
            << "5 desks: 1 on release 42, 4 failed (exit 3: 2, exit 5: 1, exit 8: 1)";
        QTest::newRow("behind the master, by its bytes")
            << logLine(t1, "D0", "u", "updated", 0, "/a", "@NEW") +
                   logLine(t1, "D1", "u", "updated", 0, "/a", "@NEW") +
                   logLine(t1, "D2", "u", "current", 0, "/a", "@OLD") +
                   logLine(t1, "D3", "u", "failed", 4, "/a", "", "",
                           "Error 70 (/a: Permission denied)")
            << QStringList{"--source", "@MASTER"} << 0
            << QStringList{"COMPUTER|USER|TARGET|LAST RUN|OUTCOME|EXIT|RELEASE|MASTER|ERROR",
                           "D0|u|/a|" + t1 + "|updated|0|@NEW12|on master",
                           "D1|u|/a|" + t1 + "|updated|0|@NEW12|on master",
                           "D2|u|/a|" + t1 + "|current|0|@OLD12|behind",
                           "D3|u|/a|" + t1 +
                               "|failed|4|unknown|unknown|Error 70 (/a: Permission "
                               "denied)"}
            << "4 desks: 2 on release @NEW12, 1 on release @OLD12, 1 failed (exit 4: 1); the "
               "master is release @NEW12: 2 on master, 1 behind, 1 unknown";
        // A --check's line is a run's like any other: the desk's last.
        QTest::newRow("a --check that found the desk behind")
            << logLine(t1, "D1", "u", "updated", 0, "/a", "@OLD") +
                   logLine(t2, "D1", "u", "behind", 1, "/a", "@OLD")
            << QStringList{"--source", "@MASTER"} << 0
            << QStringList{"COMPUTER|USER|TARGET|LAST RUN|OUTCOME|EXIT|RELEASE|MASTER|ERROR",
                           "D1|u|/a|" + t2 + "|behind|1|@OLD12|behind"}
            << "1 desk: 1 on release @OLD12; the master is release @NEW12: 1 behind";
        QTest::newRow("the stored release path is the master")
            << logLine(t1, "D1", "u", "updated", 0, "/a", "@NEW") << QStringList{"@STORED"} << 0
            << QStringList{"COMPUTER|USER|TARGET|LAST RUN|OUTCOME|EXIT|RELEASE|MASTER|ERROR",
                           "D1|u|/a|" + t1 + "|updated|0|@NEW12|on master"}
            << "1 desk: 1 on release @NEW12; the master is release @NEW12: 1 on master";
        QTest::newRow("the master signed: named by the number its desks took")
            << logLine(t1, "D1", "u", "updated", 0, "/a", "@NEW", "43") +
                   logLine(t1, "D2", "u", "updated", 0, "/a", "@OLD", "42")
            << QStringList{"--source", "@MASTER", "--csv"} << 0
            << QStringList{header, "D1,u,/a," + t1 + ",updated,0,43,@NEW,on master,",
                           "D2,u,/a," + t1 + ",updated,0,42,@OLD,behind,"}
            << "2 desks: 1 on release 43, 1 on release 42; the master is release 43: 1 on "
               "master, 1 behind";
        const QByteArray good = logLine(t1, "D1", "u", "updated", 0, "/a", a, "42");
        QTest::newRow("garbage, a torn append, an older line of ten fields: skipped")
            << good + QByteArray("\x00\xff\xfegarbage\n", 11) + good.left(40) + good +
                   good.left(good.lastIndexOf('\t')).split('\t').mid(0, 10).join('\t') + '\n' +
                   logLine(t1, "D2", "u", "updated", 0, "/a", QByteArray(63, 'a')) +
                   logLine(t1, "D3", "u", "updated", 0, "/a", a, "042") +
                   logLine("2026-02-30T07:00:00+01:00", "D4", "u", "updated", 0, "/a", a) +
                   logLine(t1, "D5", "u", "frobbed", 0, "/a", a) + "\n" + QByteArray(3 << 20, 'x') +
                   '\n' + good.left(good.size() - 3)
            << csv << 0 << QStringList{header, "D1,u,/a," + t1 + ",updated,0,42," + a + ",,"}
            << "1 desk: 1 on release 42; 10 lines skipped, not log lines";
        const QString yesterday = daysAgo(1);
        QTest::newRow("--since leaves out desks not seen for that long")
            << logLine(daysAgo(40), "OLD-1", "carl", "updated", 0, "/a", a, "40") +
                   logLine(daysAgo(45), "OLD-1", "carl", "updated", 0, "/b", a, "40") +
                   logLine(daysAgo(31), "OLD-2", "dora", "updated", 0, "/a", a, "41") +
                   logLine(yesterday, "NEW-1", "eve", "failed", 3, "/a", a, "42", "Error 53 (x)")
            << QStringList{"--since", "30", "--csv"} << 0
            << QStringList{header,
                           "NEW-1,eve,/a," + yesterday + ",failed,3,42," + a + ",,Error 53 (x)"}
            << "1 desk: 1 failed (exit 3: 1); left out, not seen for 30 days: OLD-1 (carl), "
               "OLD-2 (dora)";
        QTest::newRow("CSV: quotes, commas, formulas and control characters stay in their cell")
            << logLine(t1, "=HYPERLINK(\"http://x\")", "o'neil", "updated", 0,
                       "C:/Sales, \"new\"/app.mdb", a, "42", "Error 1 (a\x1b[2J, b)")
            << csv << 0
            << QStringList{header, "\"'=HYPERLINK(\"\"http://x\"\")\",o'neil,\"C:/Sales, "
                                   "\"\"new\"\"/app.mdb\"," +
                                       t1 + ",updated,0,42," + a + ",,\"Error 1 (a\\x1b[2J, b)\""}
            << "1 desk: 1 on release 42";
        // A tab cannot be in a Windows file name; in a Linux one the log has it as a blank.
        QTest::newRow("CSV: a real run's line, its path with a comma (and a tab)")
            << QByteArray("@RUN") << csv << 0
            << QStringList{header, "@HOST,@USER,\"@TARGET\",@WHEN,updated,0,@NEW12,@NEW,,"}
            << "1 desk: 1 on release @NEW12";
        QTest::newRow("an empty log") << QByteArray() << QStringList() << 0
                                      << QStringList{"COMPUTER|USER|TARGET|LAST RUN|OUTCOME|EXIT|"
                                                     "RELEASE|ERROR"}
                                      << "0 desks";
        QTest::newRow("a log that is not there") << QByteArray("@MISSING") << QStringList() << 3
                                                 << QStringList() << "tarselcopy: Error 53 (";
        QTest::newRow("a log that is a folder") << QByteArray("@FOLDER") << QStringList() << 3
                                                << QStringList() << "tarselcopy: Error 75 (";
        QTest::newRow("refused: --report writes nothing, takes no --target")
            << good << QStringList{"--target", "/a"} << 2 << QStringList{"failed "}
            << "tarselcopy: --report only reads";
        QTest::newRow("refused: --since 0")
            << good << QStringList{"--since", "0"} << 2 << QStringList{"failed "}
            << "tarselcopy: --since takes a whole number";
    }

    void report() {
        QFETCH(QByteArray, log);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, rows);
        QFETCH(QString, summary);
        const QByteArray fresh = sha256Hex(files_.newBytes), old = sha256Hex(files_.oldBytes);
        const auto digests = [&](QString text) {
            return text.replace("@NEW12", fresh.left(12))
                .replace("@OLD12", old.left(12))
                .replace("@NEW", fresh)
                .replace("@OLD", old);
        };
        const QString path = files_.root() + "/runs.log";
        QStringList logged; // a real run's fields
        if (log == "@FOLDER") {
            QVERIFY(QDir().mkdir(path));
        } else if (log == "@RUN") {
            const QString folder =
                files_.root() + (wineVersion().isEmpty() ? "/Sales, 2026\tQ4" : "/Sales, 2026 Q4");
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(
                run({"--source", files_.source, "--target", folder + "/app.mdb", "--log", path})
                    .exitCode,
                0);
            logged = QString::fromUtf8(readFile(path)).split('\t');
            QCOMPARE(logged.size(), 12);
            QCOMPARE(logged[6], QString(folder).replace('\t', ' ') + "/app.mdb");
        } else if (log != "@MISSING" && log != "@RUN")
            QVERIFY(writeFile(path, digests(QString::fromLatin1(log)).toLatin1()));
        // The master is the stored release path where no --source names it.
        const bool stored = arguments.removeAll("@STORED") > 0;
        if (const QString why = missing(Facility::ChildSharesSettings); stored && !why.isEmpty())
            QSKIP(qPrintable(why));
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, NewVersionLocation,
                     stored ? files_.source : QString());
        for (QString& argument : arguments)
            argument.replace("@MASTER", files_.source);
        const Outcome outcome = run(QStringList{"--report", path} << arguments);

        QCOMPARE(outcome.exitCode, exitCode);
        if (exitCode != 0) {
            QVERIFY2(outcome.err.startsWith(summary), qPrintable(outcome.err));
            QVERIFY(outcome.out.startsWith(rows.value(0)));
            QVERIFY(!QFileInfo::exists(files_.target + ".sha256"));
            QCOMPARE(readFile(files_.target), files_.oldBytes);
            return;
        }
        QStringList lines = outcome.out.split('\n');
        QCOMPARE(lines.takeLast(), QString());
        QString said;
        if (arguments.contains("--csv")) {
            said = outcome.err.trimmed();
        } else {
            said = lines.takeLast();
            // The columns, lined up by at least two blanks: the text's fields.
            for (QString& line : lines)
                line = line.split(QRegularExpression("  +")).join('|');
        }
        for (QString& row : rows) {
            row = digests(row);
            if (!logged.isEmpty())
                row.replace("@HOST", logged[2])
                    .replace("@USER", logged[1])
                    .replace("@TARGET", logged[6])
                    .replace("@WHEN", logged[0]);
        }
        QCOMPARE(lines, rows);
        QCOMPARE(said, digests(summary));
    }

    void runsAtOnce_data() {
        QTest::addColumn<bool>("twoReleases");
        QTest::newRow("a morning of logons: four runs of one release") << false;
        QTest::newRow("two publishers of different releases, one slowed at each rename") << true;
    }

    // A morning of logons against one target: every run ends with the whole release in place and
    // nothing left beside it. Two publishers at once: whichever version ends up in place, the
    // checksum beside it, if any, is its own.
    void runsAtOnce() {
        QFETCH(bool, twoReleases);
        if (!twoReleases) {
            QVERIFY(files_.reset(patternBytes(8 << 20), QByteArray("the old version")));
            std::list<QProcess> runs(4);
            for (QProcess& process : runs)
                start(process, paths());
            for (QProcess& process : runs) {
                const Outcome outcome = finish(process);
                QVERIFY2(outcome.exitCode == 0 && outcome.out.startsWith("updated "),
                         qPrintable(outcome.out + outcome.err));
            }
            QCOMPARE(readFile(files_.target), files_.newBytes);
            QCOMPARE(files_.stagingFiles(), QStringList());
            return;
        }
        // The first publisher waits 3 s after each rename: the second puts its release in place
        // and writes its checksum while the first has swapped and not yet written its own.
        if (const QString why = missing(Facility::SystemCallFaults); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(writeFile(files_.target + ".sha256", sha256Hex(files_.oldBytes) + "  app.mdb\n"));
        const QString other = files_.root() + "/other.mdb";
        const QByteArray otherBytes = patternBytes(300000).replace(0, 5, "other");
        QVERIFY(writeFile(other, otherBytes));
        QProcess first;
        start(first, {"--source", other, "--target", files_.target}, ConsoleOutput::Read,
              {"strace", "-qq", "-o", "/dev/null", "-e", "trace=rename", "-e",
               "inject=rename:delay_exit=3000000", "--"});
        QTRY_VERIFY_WITH_TIMEOUT(readFile(files_.target) == otherBytes, 20000);
        const Outcome second = run(paths());
        const Outcome firstOutcome = finish(first);

        QCOMPARE(second.exitCode, 0);
        QCOMPARE(firstOutcome.exitCode, 0);
        const QByteArray inPlace = readFile(files_.target);
        QVERIFY(inPlace == files_.newBytes || inPlace == otherBytes);
        const QByteArray record = readFile(files_.target + ".sha256");
        QVERIFY2(record.isEmpty() || record == sha256Hex(inPlace) + "  app.mdb\n",
                 qPrintable(firstOutcome.err + second.err));
        QCOMPARE(files_.stagingFiles(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTarselCopy)
#include "test_tarselcopy.moc"
