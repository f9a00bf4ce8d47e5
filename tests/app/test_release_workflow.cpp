#include "app/ReleaseWorkflow.h"
#include "copy/FileExists.h"
#include "core/RegistryKeys.h"
#include "filetime/FileDateKind.h"
#include "filetime/GeneralDate.h"
#include "filetime/ReadFileDate.h"
#include "platform/DirectorySearch.h"
#include "platform/Files.h"
#include "platform/StagingFile.h"
#include "support/FakeReleaseHost.h"
#include "support/LockFileSlots.h"
#include "support/MinisignFixtures.h"
#include "support/ReleaseFixture.h"
#include "support/TestHost.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace tarsel;
using tarsel::test::Facility;
using tarsel::test::FakeReleaseHost;
using tarsel::test::missing;
using tarsel::test::readFile;
using tarsel::test::writeFile;

namespace {

// The line sha256sum writes for the fixture's target.
QByteArray sha256Line(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + "  app.mdb\n";
}

QByteArray randomBytes(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

} // namespace

class TestReleaseWorkflow : public QObject {
    Q_OBJECT

    test::ReleaseFixture files_;
    FileTimeRecords records_;
    QString source_, target_;
    QByteArray newBytes_, oldBytes_;

    // A host whose paths name the fixture's files and whose modification text is the source's.
    void prepare(FakeReleaseHost& host) {
        host.source = source_;
        host.target = target_;
        host.sourceModified = GeneralDateText(ReadFileDate(records_, source_, Modified));
    }

    void expectOldTargetKept(const FakeReleaseHost& host) {
        QCOMPARE(readFile(target_), oldBytes_);
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(host.ended, 0);
    }

private slots:
    void init() {
        QVERIFY(files_.reset(randomBytes(5 * 32767 + 123), randomBytes(40000)));
        source_ = files_.source;
        target_ = files_.target;
        newBytes_ = files_.newBytes;
        oldBytes_ = files_.oldBytes;
    }

    void wholeRunReplacesVerifiesStampsAndEnds() {
        FakeReleaseHost host;
        prepare(host);
        const QDateTime modified = CDate(host.sourceModified);
        // The copy and the verification go through the run's one handle on the staging file: a
        // share that locks per handle refuses a second, and nobody else may change the bytes.
        QList<bool> oneHandle;
        host.onYield = [&](int) {
            for (const QString& name : files_.stagingFiles())
                oneHandle << test::heldThroughOneHandle(files_.liveFolder() + '/' + name);
        };
        ReleaseWorkflow(host).cmdCopy_Click();

        QCOMPARE(readFile(target_), newBytes_);
        QVERIFY(oneHandle.size() > 5);
        QVERIFY(!oneHandle.contains(false));
        // An ordinary file, not hidden as the staging file was: the next start finds it.
        QVERIFY(FileExists(target_));
        QCOMPARE(host.ended, 1);
        QCOMPARE(host.enabled, QList<bool>({false, true}));
        QCOMPARE(host.label2.first(), CopyingText + source_);
        QCOMPARE(host.label2.last(), SuccessText);
        QCOMPARE(host.status, QStringList{VerifyingText + target_});
        QCOMPARE(files_.stagingFiles(), QStringList());
        QVERIFY(host.fakeDialogs.boxes.isEmpty());
        // The copy's bar rose to 100 and the verification's ran down to 0.
        QVERIFY(host.progress.contains(100));
        QCOMPARE(host.progress.last(), 0.0);
        // Its checksum beside it, as sha256sum writes it, readable by whoever may read it.
        QCOMPARE(readFile(target_ + ".sha256"), sha256Line(newBytes_));
        QCOMPARE(test::accessRightsOf(target_ + ".sha256"), test::accessRightsOf(target_));
        if (const QString why = missing(Facility::CreationTime, files_.liveFolder());
            !why.isEmpty())
            QSKIP(qPrintable("all but the creation date checked: " + why));
        QCOMPARE(ReadFileDate(records_, target_, Created), modified.addSecs(60));
    }

    // A release that has a checksum is taken only as published: the window says why it refuses
    // one in its error report, and keeps the old version and its checksum.
    void takesTheReleaseOnlyAsPublished_data() {
        QTest::addColumn<QString>("published"); // what the release's .sha256 holds
        QTest::addColumn<QString>("report");    // how the error report begins; empty: none
        QTest::newRow("as published") << "the release's" << QString();
        QTest::newRow("a stale checksum")
            << "the old version's"
            << "Error 517 (The new release does not match its published checksum: ";
        QTest::newRow("a checksum file of garbage") << "garbage"
                                                    << "Error 514 (";
        QTest::newRow("the digest alone, as Get-FileHash gives it") << "digest alone" << QString();
    }

    // The old version's records go with it: its .sha256 and its signature.
    void takesTheReleaseOnlyAsPublished() {
        QFETCH(QString, published);
        QFETCH(QString, report);
        const QByteArray hex =
            QCryptographicHash::hash(newBytes_, QCryptographicHash::Sha256).toHex();
        QVERIFY(writeFile(source_ + ".sha256",
                          published == "garbage"         ? QByteArray("\x01\x02 not a sum\n")
                          : published == "digest alone"  ? hex.toUpper() + "\r\n"
                          : published == "the release's" ? sha256Line(newBytes_)
                                                         : sha256Line(oldBytes_)));
        QVERIFY(writeFile(target_ + ".sha256", sha256Line(oldBytes_)));
        const QByteArray signature = "untrusted comment: signature of the old version\n";
        QVERIFY(writeFile(target_ + ".sha256.minisig", signature));
        FakeReleaseHost host;
        prepare(host);
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(readFile(target_), report.isEmpty() ? newBytes_ : oldBytes_);
        // Success is told once the release is verified and in service, and only then.
        QCOMPARE(host.label2.count(SuccessText), report.isEmpty() ? 1 : 0);
        QCOMPARE(readFile(target_ + ".sha256"),
                 sha256Line(report.isEmpty() ? newBytes_ : oldBytes_));
        QCOMPARE(readFile(target_ + ".sha256.minisig"),
                 report.isEmpty() ? QByteArray() : signature);
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(host.fakeDialogs.boxes.size(), report.isEmpty() ? 0 : 1);
        if (report.isEmpty()) {
            // What the window put in place, with its checksum, is a release the next run takes:
            // nothing the run did to it after the checksum made the checksum look older.
            const QString desk = files_.root() + "/desk/app.mdb";
            QVERIFY(QDir().mkpath(files_.root() + "/desk"));
            FakeReleaseHost next;
            prepare(next);
            next.source = target_;
            next.target = desk;
            ReleaseWorkflow(next).cmdCopy_Click();
            QCOMPARE(next.fakeDialogs.boxes.size(), 0);
            QCOMPARE(readFile(desk), newBytes_);
            return;
        }
        QCOMPARE(host.label2.last(), CopyErrorText + "app.mdb");
        QVERIFY2(host.fakeDialogs.boxes[0].prompt.startsWith(report),
                 qPrintable(host.fakeDialogs.boxes[0].prompt));
        QVERIFY(host.fakeDialogs.boxes[0].prompt.contains(source_ + ".sha256"));
    }

    // The administrator's trusted keys hold for the window too: it takes only a signed release, and
    // says in its error report why it refuses one.
    void takesOnlySignedReleasesWithPresetKeys_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("report"); // how the error report begins; empty: none
        QTest::newRow("signed by the preset key") << "signed" << QString();
        QTest::newRow("not signed")
            << "unsigned"
            << "Error 519 (The new release " + files_.source + " is not signed: ";
        QTest::newRow("signed by another key")
            << "other key"
            << "Error 520 (The new release " + files_.source + " is refused: ";
        QTest::newRow("a preset that holds no key") << "bad preset"
                                                    << "Error 523 (The preset TrustedKeys holds ";
    }

    void takesOnlySignedReleasesWithPresetKeys() {
        QFETCH(QString, situation);
        QFETCH(QString, report);
        test::IsolatedSettings settings;
        test::IsolatedPresets presets;
        QVERIFY(presets.set(test::IsolatedPresets::Scope::Computer, TrustedKeys,
                            situation == "bad preset"  ? QStringLiteral("RWnotakey")
                            : situation == "other key" ? test::publicKeyLine("other")
                                                       : test::publicKeyLine("unprotected")));
        const QByteArray line = sha256Line(newBytes_);
        QVERIFY(writeFile(source_ + ".sha256", line));
        if (situation != "unsigned")
            QVERIFY(
                writeFile(source_ + ".sha256.minisig", test::releaseSignature(line, "app.mdb", 7)));
        FakeReleaseHost host;
        prepare(host);
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(readFile(target_), report.isEmpty() ? newBytes_ : oldBytes_);
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(host.fakeDialogs.boxes.size(), report.isEmpty() ? 0 : 1);
        if (!report.isEmpty()) {
            QCOMPARE(host.label2.last(), CopyErrorText + "app.mdb");
            QVERIFY2(host.fakeDialogs.boxes[0].prompt.startsWith(report),
                     qPrintable(host.fakeDialogs.boxes[0].prompt));
        }
    }

    // The window's user picks the release and sees it: an empty one goes into service.
    void anEmptyReleaseFromTheWindow() {
        QVERIFY(writeFile(source_, QByteArray()));
        FakeReleaseHost host;
        prepare(host);
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(host.ended, 1);
        QCOMPARE(readFile(target_), QByteArray());
    }

    void readOnlyOldTargetIsReplaced_data() {
        QTest::addColumn<quint32>("bits");
        using namespace platform;
        QTest::newRow("read-only") << Attr::ReadOnly;
        // Not an ordinary file to FileExists, yet Windows refuses to replace it all the same.
        QTest::newRow("read-only and hidden") << (Attr::ReadOnly | Attr::Hidden);
        QTest::newRow("read-only and system") << (Attr::ReadOnly | Attr::System);
    }

    void readOnlyOldTargetIsReplaced() {
        QFETCH(quint32, bits);
        if (const QString why = test::setDosAttributes(target_, bits); !why.isEmpty())
            QSKIP(qPrintable(why));
        // A second name kept as a backup of the old version, which must stay read-only.
        const QString backup = files_.liveFolder() + "/app.mdb.bak";
        const bool backedUp = missing(Facility::HardLink, files_.liveFolder()).isEmpty();
        if (backedUp)
            QVERIFY(test::makeHardLink(target_, backup));
        FakeReleaseHost host;
        prepare(host);
        // Until the swap the old version keeps its read-only bit: a run killed meanwhile leaves it
        // as it was.
        QList<bool> readOnlyBeforeSwap;
        host.onYield = [&](int) {
            if (readFile(target_) == oldBytes_)
                readOnlyBeforeSwap
                    << bool(platform::attributesOf(target_) & platform::Attr::ReadOnly);
        };
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(readFile(target_), newBytes_);
        QCOMPARE(host.ended, 1);
        QVERIFY(readOnlyBeforeSwap.size() > 5);
        QVERIFY(!readOnlyBeforeSwap.contains(false));
        if (backedUp) {
            QCOMPARE(readFile(backup), oldBytes_);
            QVERIFY(platform::attributesOf(backup) & platform::Attr::ReadOnly);
        }
    }

    void noOldTargetCreatesIt() {
        QVERIFY(QFile::remove(target_));
        FakeReleaseHost host;
        prepare(host);
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(readFile(target_), newBytes_);
        QCOMPARE(host.ended, 1);
    }

    void failedRunKeepsOldTarget_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("finalText");
        QTest::addColumn<QList<bool>>("enabled");
        QTest::addColumn<QString>("report"); // how the error report begins; empty: none
        const QString changed = "Error 516 (The new release changed while it was copied: ";
        QTest::newRow("source gone before the copy")
            << "vanish" << CopyErrorText + "app.mdb" << QList<bool>{false} << QString();
        QTest::newRow("target is a folder")
            << "folder" << CopyErrorText + "app.mdb" << QList<bool>{false} << QString();
        // A release written to under the run is one being published: refused, whatever it holds.
        QTest::newRow("source changes before verification")
            << "change" << CopyErrorText + "app.mdb" << QList<bool>{false} << changed;
        QTest::newRow("source shrinks before verification")
            << "shrink" << CopyErrorText + "app.mdb" << QList<bool>{false} << changed;
        QTest::newRow("copy spoilt before verification")
            << "spoil" << VerifyFailedText << QList<bool>{false, true} << QString();
    }

    void failedRunKeepsOldTarget() {
        QFETCH(QString, fault);
        QFETCH(QString, finalText);
        QFETCH(QList<bool>, enabled);
        QFETCH(QString, report);
        if (const QString why = missing(Facility::WriteHeldFile);
            fault == "spoil" && !why.isEmpty())
            QSKIP(qPrintable(why));
        if (fault == "folder")
            QVERIFY(QFile::remove(target_) && QDir().mkdir(target_));
        else
            QVERIFY(QFile::setPermissions(target_, QFile::ReadOwner));
        FakeReleaseHost host;
        prepare(host);
        host.onYield = [&](int) {
            const bool copied = !host.progress.isEmpty() && host.progress.last() == 100;
            if (fault == "vanish" && host.yields == 1)
                QFile::remove(source_);
            if (copied && host.status.isEmpty() && fault == "change") {
                QByteArray changed = newBytes_;
                changed[7] = char(~changed[7]);
                QVERIFY(writeFile(source_, changed));
            }
            if (copied && host.status.isEmpty() && fault == "shrink")
                QVERIFY(writeFile(source_, newBytes_.left(1000)));
            if (copied && host.status.isEmpty() && fault == "spoil") {
                QFile staging(files_.liveFolder() + '/' + files_.stagingFiles().value(0));
                QVERIFY(staging.open(QIODevice::ReadWrite) && staging.seek(7));
                QVERIFY(staging.write(QByteArray(1, char(~newBytes_[7]))) == 1);
            }
        };
        ReleaseWorkflow(host).cmdCopy_Click();

        QCOMPARE(host.label2.last(), finalText);
        // Never announced as a success first.
        QVERIFY(!host.label2.contains(SuccessText));
        QCOMPARE(host.enabled, enabled);
        QCOMPARE(host.fakeDialogs.boxes.size(), report.isEmpty() ? 0 : 1);
        if (!report.isEmpty())
            QVERIFY2(host.fakeDialogs.boxes[0].prompt.startsWith(report + source_),
                     qPrintable(host.fakeDialogs.boxes[0].prompt));
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(host.ended, 0);
        if (fault != "folder") {
            QCOMPARE(readFile(target_), oldBytes_);
            // The old release keeps its read-only attribute too.
            QCOMPARE(QFile::permissions(target_) & QFile::WriteOwner, QFile::Permissions());
        }
    }

    // A release of 2 GiB or more: the window asks before a plain copy, No being the default, and a
    // plain copy that fails shows its own error report before the window's copy error.
    void aLargeReleaseAsksFirst_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("report"); // how the second box begins; empty: none
        QTest::newRow("no: nothing is copied") << int(MsgAnswer::No) << QString();
        QTest::newRow("yes, past the file size limit") << int(MsgAnswer::Yes) << "Error 61 (";
    }

    void aLargeReleaseAsksFirst() {
        QFETCH(int, answer);
        QFETCH(QString, report);
        if (const QString why = missing(Facility::FileSizeLimit);
            !report.isEmpty() && !why.isEmpty())
            QSKIP(qPrintable(why));
        {
            QFile release(source_); // sparse: the file system stores none of its 2 GiB
            QVERIFY(release.open(QIODevice::WriteOnly) && release.resize(qint64(1) << 31));
        }
        FakeReleaseHost host;
        prepare(host);
        host.fakeDialogs.msgBoxAnswer = answer;
        {
            std::optional<test::FileSizeLimit> limit;
            if (!report.isEmpty())
                limit.emplace(1 << 20);
            ReleaseWorkflow(host).cmdCopy_Click();
        }
        const auto& boxes = host.fakeDialogs.boxes;
        QCOMPARE(boxes.size(), report.isEmpty() ? 1 : 2);
        QCOMPARE(boxes[0].prompt, "The file '" + source_ + "' is too large for this function.\r" +
                                      "Would you like to perform a regular file copy?\r" +
                                      "(The Progress Bar will not show the file copy)");
        QCOMPARE(boxes[0].title, "F I L E    T O O    L A R G E");
        QCOMPARE(boxes[0].style, 276);
        if (!report.isEmpty()) {
            QVERIFY2(boxes[1].prompt.startsWith(report), qPrintable(boxes[1].prompt));
            QVERIFY(
                boxes[1].prompt.endsWith(") in procedure\r\n(ALargeFile) of (frmCopyRoutine)."));
            QCOMPARE(boxes[1].style, 16);
            QCOMPARE(boxes[1].title, QString());
        }
        QCOMPARE(host.label2.last(), CopyErrorText + "app.mdb");
        expectOldTargetKept(host);
    }

    void missingTargetFolderFailsTheCopy() {
        FakeReleaseHost host;
        prepare(host);
        host.target = files_.root() + "/nowhere/app.mdb";
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(host.label2.last(), CopyErrorText + "app.mdb");
        QCOMPARE(host.enabled, QList<bool>{false});
        QVERIFY(!QFileInfo::exists(files_.root() + "/nowhere"));
    }

    void targetWithoutAFileName_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("finalText");
        QTest::newRow("both empty") << ""
                                    << "" << CopyErrorText;
        QTest::newRow("empty target") << "src"
                                      << "" << CopyErrorText + "app.mdb";
        QTest::newRow("folder path") << "src"
                                     << "live/" << CopyErrorText + "app.mdb";
    }

    void targetWithoutAFileName() {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, finalText);
        FakeReleaseHost host;
        prepare(host);
        host.source = source.replace("src", source_);
        host.target = target.replace("live/", files_.liveFolder() + "/");
        const QStringList before = QDir::current().entryList(QDir::AllEntries | QDir::Hidden);
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(host.label2.last(), finalText);
        QVERIFY(host.fakeDialogs.boxes.isEmpty());
        QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::Hidden), before);
        expectOldTargetKept(host);
    }

    void sourceWithoutFolderShowsWholeText() {
        FakeReleaseHost host;
        prepare(host);
        host.source = "no-such-release.mdb";
        ReleaseWorkflow(host).cmdCopy_Click();
        QCOMPARE(host.label2.last(), CopyErrorText + "no-such-release.mdb");
        expectOldTargetKept(host);
    }

    void sameFileIsRefused_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("same path") << "path";
        QTest::newRow("hard link") << "hard";
        QTest::newRow("symbolic link") << "symbolic";
    }

    void sameFileIsRefused() {
        QFETCH(QString, how);
        FakeReleaseHost host;
        prepare(host);
        if (how == "path") {
            host.target = source_;
        } else {
            const Facility link = how == "hard" ? Facility::HardLink : Facility::SymbolicLink;
            if (const QString why = missing(link, files_.liveFolder()); !why.isEmpty())
                QSKIP(qPrintable(why));
            QVERIFY(QFile::remove(target_));
            QVERIFY(how == "hard" ? test::makeHardLink(source_, target_)
                                  : test::makeSymbolicLink(source_, target_));
        }
        ReleaseWorkflow(host).cmdCopy_Click();

        QCOMPARE(readFile(source_), newBytes_);
        QCOMPARE(host.fakeDialogs.boxes.size(), 1);
        const auto box = host.fakeDialogs.boxes.first();
        QVERIFY(box.prompt.startsWith("Error 75 (The new release and the current version are the "
                                      "same file"));
        QVERIFY(box.prompt.endsWith(") in procedure\r\n(cmdCopy_Click) of (frmCopyRoutine)."));
        QCOMPARE(box.style, MsgStyle::Critical);
        QVERIFY(host.label2.isEmpty());
        QCOMPARE(host.ended, 0);
    }

    void replaceRefusedNamesWhoHolds_data() {
        QTest::addColumn<QString>("holder");  // the image that holds the target, if any
        QTest::addColumn<bool>("cannotTell"); // the table cannot tell, as under Wine
        QTest::addColumn<QByteArray>("lockFile");
        QTest::addColumn<QString>("names"); // what the report adds; empty: nothing
        const QByteArray two =
            test::lockFileSlot("DESK-12", "Admin") + test::lockFileSlot("DESK-40", "jane");
        const QString recorded =
            "recorded in app.ldb (may include people who have left): DESK-12 (Admin), DESK-40 "
            "(jane)";
        QTest::newRow("a holder and two computers")
            << "MSACCESS.EXE" << false << two << "held by MSACCESS.EXE (pid 4242); " + recorded;
        QTest::newRow("another program, no lock file")
            << "EXCEL.EXE" << false << QByteArray() << "held by EXCEL.EXE (pid 4242)";
        QTest::newRow("cannot tell: the computers alone") << "" << true << two << recorded;
        QTest::newRow("nobody known, a lock file of garbage")
            << "" << false << QByteArray(300, '\x01') << QString();
    }

    // The verified copy cannot take the target's name (here a folder put there meanwhile): the
    // error report names who holds the target, from the window's process table and the lock file.
    void replaceRefusedNamesWhoHolds() {
        QFETCH(QString, holder);
        QFETCH(bool, cannotTell);
        QFETCH(QByteArray, lockFile);
        QFETCH(QString, names);
        if (!lockFile.isEmpty())
            QVERIFY(writeFile(files_.liveFolder() + "/app.ldb", lockFile));
        FakeReleaseHost host;
        prepare(host);
        if (!holder.isEmpty()) {
            host.processes.running = {{4242, holder, 1, true}};
            host.processes.holding[target_] = {4242};
        }
        host.processes.cannotTellHolders = cannotTell;
        host.onYield = [&](int) {
            if (!host.status.isEmpty() && QFileInfo(target_).isFile()) {
                QVERIFY(QFile::remove(target_) && QDir().mkdir(target_));
                QVERIFY(writeFile(target_ + "/inside", "keeps the folder from being replaced"));
            }
        };
        ReleaseWorkflow(host).cmdCopy_Click();

        QCOMPARE(host.label2.last(), CopyErrorText + "app.mdb");
        QCOMPARE(host.fakeDialogs.boxes.size(), 1);
        const QString prompt = host.fakeDialogs.boxes.first().prompt;
        QVERIFY2(prompt.startsWith("Error "), qPrintable(prompt));
        const QString end = ") in procedure\r\n" + CopyTag;
        QVERIFY2(prompt.endsWith((names.isEmpty() ? QString() : "; " + names) + end),
                 qPrintable(prompt));
        QCOMPARE(host.processes.terminated, QList<qint64>());
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(host.ended, 0);
    }

    void secondClickDuringRunIsIgnored() {
        FakeReleaseHost host;
        prepare(host);
        ReleaseWorkflow workflow(host);
        int nested = 0;
        host.onYield = [&](int n) {
            if (n == 3) {
                QVERIFY(workflow.running());
                workflow.cmdCopy_Click();
                ++nested;
            }
        };
        workflow.cmdCopy_Click();
        QCOMPARE(nested, 1);
        QCOMPARE(host.enabled, QList<bool>({false, true}));
        QCOMPARE(host.ended, 1);
        QVERIFY(!workflow.running());
    }

    void closingTheWindowCancelsTheRun_data() {
        QTest::addColumn<int>("atYield");
        QTest::newRow("before the copy") << 1;
        QTest::newRow("during the copy") << 4;
        QTest::newRow("during the pause") << 9;
    }

    void closingTheWindowCancelsTheRun() {
        QFETCH(int, atYield);
        FakeReleaseHost host;
        prepare(host);
        host.onYield = [&](int n) { host.cancel = host.cancel || n == atYield; };
        ReleaseWorkflow(host).cmdCopy_Click();
        expectOldTargetKept(host);
        QVERIFY(host.fakeDialogs.boxes.isEmpty());
    }

    void modificationTextNotADate_data() {
        QTest::addColumn<bool>("oldTarget");
        QTest::newRow("old target: carries on") << true;
        QTest::newRow("no old target: reports") << false;
    }

    void modificationTextNotADate() {
        QFETCH(bool, oldTarget);
        if (!oldTarget)
            QVERIFY(QFile::remove(target_));
        FakeReleaseHost host;
        prepare(host);
        host.sourceModified = "Modified";
        ReleaseWorkflow(host).cmdCopy_Click();
        if (oldTarget) {
            QCOMPARE(readFile(target_), newBytes_);
            QCOMPARE(host.ended, 1);
            QVERIFY(host.fakeDialogs.boxes.isEmpty());
        } else {
            QVERIFY(!QFileInfo::exists(target_));
            QCOMPARE(host.fakeDialogs.boxes.size(), 1);
            QCOMPARE(host.fakeDialogs.boxes.first().prompt,
                     "Error 13 (Type mismatch) in procedure\r\n" + CopyTag);
            QCOMPARE(host.enabled, QList<bool>{false});
            QCOMPARE(files_.stagingFiles(), QStringList());
        }
    }

    // Past the 260 characters that Windows allowed a path before "\\?\": the release run opens,
    // copies, verifies, renames and stamps through such paths all the same.
    void servesPathsOverMaxPath_data() {
        QTest::addColumn<bool>("deepSource");
        QTest::addColumn<bool>("deepTarget");
        QTest::newRow("release") << true << false;
        QTest::newRow("current version") << false << true;
    }

    void servesPathsOverMaxPath() {
        QFETCH(bool, deepSource);
        QFETCH(bool, deepTarget);
        const QString deep = files_.root() + "/deep/" + QString(100, u'r') + '/' +
                             QString(100, u'e') + '/' + QString(60, u'l');
        QVERIFY(QDir().mkpath(deep));
        if (deepSource) {
            source_ = deep + "/release.mdb";
            QVERIFY(writeFile(source_, newBytes_));
        }
        if (deepTarget) {
            target_ = deep + "/app.mdb";
            QVERIFY(writeFile(target_, oldBytes_));
            QVERIFY(QFile::setPermissions(target_, QFile::ReadOwner));
        }
        QVERIFY((deepSource ? source_ : target_).size() > 300);
        FakeReleaseHost host;
        prepare(host);
        const QDateTime modified = CDate(host.sourceModified);
        ReleaseWorkflow(host).cmdCopy_Click();

        QCOMPARE(host.label2.last(), SuccessText);
        QVERIFY(host.fakeDialogs.boxes.isEmpty());
        QCOMPARE(host.ended, 1);
        QCOMPARE(readFile(target_), newBytes_);
        QCOMPARE(test::ReleaseFixture::stagingFilesIn(QFileInfo(target_).path()), QStringList());
        if (const QString why = missing(Facility::CreationTime, deep); !why.isEmpty())
            QSKIP(qPrintable("all but the creation date checked: " + why));
        QCOMPARE(ReadFileDate(records_, target_, Created), modified.addSecs(60));
    }

    // Only what a killed run left goes: not a file a running copy holds, not one written to
    // lately (its copy may run on another computer, whose lock this one cannot see), not a user's
    // file that merely looks like ours.
    void orphansAreRemovedButNothingElse() {
        const QString live = files_.root() + "/live/";
        const QString orphan = live + ".app.mdb.tarsel-AAAAAAAAAAAA";
        const QString held = live + ".app.mdb.tarsel-BBBBBBBBBBBB";
        const QString recent = live + ".app.mdb.tarsel-CCCCCCCCCCCC";
        const QString lookalike = live + ".app.mdb.tarsel-my-notes-v2x";
        // The checksum's own staging file, left by a run killed while writing it.
        const QString checksumOrphan = live + ".app.mdb.sha256.tarsel-DDDDDDDDDDDD";
        const QString checksumLookalike = live + ".app.mdb.sha256.tarsel-DDDDDDDDDDD";
        // Staging files are hidden: by their dot on Linux, by the attribute on Windows.
        for (const QString& staging :
             {orphan, held, recent, lookalike, checksumOrphan, checksumLookalike}) {
            QVERIFY(writeFile(staging, "left by a killed run, a running copy's, or a user's"));
            if (staging != recent)
                QVERIFY(test::untouchedForLong(staging));
            QCOMPARE(test::setDosAttributes(staging, platform::Attr::Hidden), QString());
        }
        std::optional<test::HeldFile> running;
        running.emplace(held);
        QVERIFY(running->isHeld());

        FakeReleaseHost host;
        prepare(host);
        ReleaseWorkflow(host).cmdCopy_Click();
        running.reset();
        QCOMPARE(host.ended, 1);
        QVERIFY(!QFileInfo::exists(orphan));
        QVERIFY(QFileInfo::exists(held));
        QVERIFY(QFileInfo::exists(recent));
        QVERIFY(QFileInfo::exists(lookalike));
        QVERIFY(!QFileInfo::exists(checksumOrphan));
        QVERIFY(QFileInfo::exists(checksumLookalike));
    }
};

QTEST_GUILESS_MAIN(TestReleaseWorkflow)
#include "test_release_workflow.moc"
