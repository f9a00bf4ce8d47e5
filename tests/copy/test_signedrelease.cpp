#include "copy/AlreadyInService.h"
#include "copy/ChecksumFile.h"
#include "copy/ReleaseRun.h"
#include "copy/TrustedKeys.h"
#include "platform/SettingsStore.h"
#include "settings/Module1.h"
#include "support/ErrorOf.h"
#include "support/FakeRunObserver.h"
#include "support/FileFixtures.h"
#include "support/MinisignFixtures.h"
#include "support/TestHost.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;
using namespace tarsel::test;
using Scope = IsolatedPresets::Scope;

namespace {

QStringList idsOf(const QList<minisign::PublicKey>& keys) {
    QStringList ids;
    for (const minisign::PublicKey& key : keys)
        ids << minisign::keyIdText(key.id);
    return ids;
}

const QString Unprotected = QStringLiteral("6DDFDC7B3D826ECB");

} // namespace

// Where the trusted keys come from, and what --if-changed makes of a signed release.
class TestSignedRelease : public QObject {
    Q_OBJECT

    IsolatedSettings settings_;
    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void presetKeys_data() {
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("user"); // the user's policy (Windows), a second folder (Linux)
        QTest::addColumn<QString>("own");  // the user's own store
        QTest::addColumn<QStringList>("ids"); // of the keys read
        QTest::addColumn<int>("error");
        const QString one = publicKeyLine("unprotected");
        const QString two = publicKeyLine("other");
        const QStringList both{Unprotected, idsOf({minisign::readPublicKey(two.toLatin1())})[0]};
        QTest::newRow("none") << QString() << QString() << QString() << QStringList() << 0;
        QTest::newRow("one key") << one << QString() << QString() << QStringList{Unprotected} << 0;
        QTest::newRow("two keys, blanks between")
            << one + "  " + two << QString() << QString() << both << 0;
        QTest::newRow("two keys, a line each") << one + "\n" + two + "\n"
                                               << QString() << QString() << both << 0;
        // A preset that cannot be read never lets an unsigned release in.
        QTest::newRow("a key and garbage")
            << one + " RWnotakey" << QString() << QString() << QStringList() << 523;
        // A user cannot take the computer's keys away by storing a value of their own.
        QTest::newRow("the user's own empty value")
            << one << QString() << "" << QStringList{Unprotected} << 0;
        // Only the computer's presets count: on Windows a user may be allowed to change their
        // own policy, on Linux the second folder is the system's.
        QTest::newRow("a preset in the user's scope alone")
            << QString() << one << QString()
            << (userScopeIsTheComputers() ? QStringList{Unprotected} : QStringList()) << 0;
    }

    void presetKeys() {
        QFETCH(QString, computer);
        QFETCH(QString, user);
        QFETCH(QString, own);
        QFETCH(QStringList, ids);
        QFETCH(int, error);
        IsolatedPresets presets;
        if (!computer.isNull())
            QVERIFY(presets.set(Scope::Computer, TrustedKeys, computer));
        if (!user.isNull())
            QVERIFY(presets.set(Scope::User, TrustedKeys, user));
        if (!own.isNull())
            RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, TrustedKeys, own);
        QList<minisign::PublicKey> keys;
        QCOMPARE(errorOf([&] { keys = presetTrustedKeys(); }), error);
        QCOMPARE(idsOf(keys), ids);
        // Keys given on the command line are used instead.
        QCOMPARE(idsOf(trustedKeys({publicKeyLine("other")})),
                 idsOf({minisign::readPublicKey(publicKeyLine("other").toLatin1())}));
    }

    void givenKeys_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QByteArray>("file"); // written at `given` when not empty
        QTest::addColumn<int>("error");
        const QByteArray pub = minisignFixture("unprotected.pub");
        QTest::newRow("a key line") << publicKeyLine("unprotected") << QByteArray() << 0;
        QTest::newRow("a .pub file") << "key.pub" << pub << 0;
        QTest::newRow("a .pub file with CRLF")
            << "crlf.pub" << QByteArray(pub).replace("\n", "\r\n") << 0;
        QTest::newRow("a missing file") << "missing.pub" << QByteArray() << 53;
        QTest::newRow("a file that holds no key") << "garbage.pub" << patternBytes(300) << 523;
        QTest::newRow("a secret key file")
            << "secret.key" << minisignFixture("unprotected.key") << 523;
        QTest::newRow("a file too large") << "large.pub" << pub + QByteArray(5000, '\n') << 523;
    }

    void givenKeys() {
        QFETCH(QString, given);
        QFETCH(QByteArray, file);
        QFETCH(int, error);
        if (!given.startsWith("RW"))
            given = path(given);
        if (!file.isEmpty())
            QVERIFY(writeFile(given, file));
        QList<minisign::PublicKey> keys;
        QCOMPARE(errorOf([&] { keys = readTrustedKeys({publicKeyLine("other"), given}); }), error);
        if (error == 0)
            QCOMPARE(idsOf(keys).last(), Unprotected);
    }

    // With trusted keys, only the digest the signature covers says that a target is current:
    // never the creation date, nor a .sha256 without its signature.
    void ifChangedGoesBySignedDigest_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("current");
        QTest::newRow("the signed digest is the one in service") << "signed" << true;
        QTest::newRow("another digest in service") << "other in service" << false;
        QTest::newRow("no checksum beside the target") << "none in service" << false;
        QTest::newRow("the release's signature missing") << "unsigned" << false;
        QTest::newRow("the release's .sha256 altered") << "altered" << false;
        QTest::newRow("signed by a key not trusted") << "untrusted" << false;
    }

    void ifChangedGoesBySignedDigest() {
        QFETCH(QString, situation);
        QFETCH(bool, current);
        const QString release = path("release.mdb");
        const QString target = path("live.mdb");
        const QByteArray bytes = patternBytes(5000);
        const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
        const QByteArray line = checksumLine(digest, "release.mdb");
        QVERIFY(writeFile(release, bytes));
        QVERIFY(writeFile(target, bytes + "written by Access"));
        QVERIFY(writeFile(release + ".sha256", line));
        QVERIFY(writeFile(release + ".sha256.minisig", releaseSignature(line, "release.mdb", 3)));
        QFile::remove(target + ".sha256");
        if (situation != "none in service")
            QVERIFY(writeFile(
                target + ".sha256",
                checksumLine(situation == "other in service" ? QByteArray(32, 'x') : digest,
                             "live.mdb")));
        if (situation == "unsigned")
            QVERIFY(QFile::remove(release + ".sha256.minisig"));
        if (situation == "altered")
            QVERIFY(writeFile(release + ".sha256", line.toUpper()));
        const QString key = situation == "untrusted" ? "other" : "unprotected";
        const QList<minisign::PublicKey> keys = readTrustedKeys({publicKeyLine(key)});
        QCOMPARE(AlreadyInService(release, target, keys), current);
    }

    // A desk that reads while a signed publish is under way meets the records of two releases, or
    // a release without its records: it is refused (to retry), never takes a release on the
    // records of another, and keeps its old version.
    void duringASignedPublish_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("error");
        QTest::newRow("the old records") << "old" << 0;
        QTest::newRow("the new release, the old records set aside") << "none" << 519;
        QTest::newRow("the new release and .sha256, no signature yet") << "checksum only" << 519;
        QTest::newRow("the new .sha256, the old signature") << "mixed" << 521;
        QTest::newRow("the new release, the old records") << "new bytes" << 517;
    }

    void duringASignedPublish() {
        QFETCH(QString, situation);
        QFETCH(int, error);
        const QString release = path("master/app.mdb");
        const QString target = path("desk/app.mdb");
        QVERIFY(QDir().mkpath(path("master")) && QDir().mkpath(path("desk")));
        const QByteArray oldBytes = patternBytes(7000);
        const QByteArray newBytes = patternBytes(9000);
        const auto line = [](const QByteArray& bytes) {
            return checksumLine(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256),
                                "app.mdb");
        };
        QVERIFY(writeFile(target, "in service"));
        QFile::remove(release + ".sha256");
        QFile::remove(release + ".sha256.minisig");
        QVERIFY(writeFile(release, situation == "old" ? oldBytes : newBytes));
        if (situation == "old" || situation == "new bytes" || situation == "mixed")
            QVERIFY(writeFile(release + ".sha256.minisig",
                              releaseSignature(line(oldBytes), "app.mdb", 1)));
        if (situation == "checksum only" || situation == "mixed")
            QVERIFY(writeFile(release + ".sha256", line(newBytes)));
        if (situation == "old" || situation == "new bytes")
            QVERIFY(writeFile(release + ".sha256", line(oldBytes)));
        QVERIFY(platform::storeText(HKEY_CURRENT_USER, ReleasesInServiceKeyPath,
                                    QDir::toNativeSeparators(target), QString(), QString()));
        ReleaseRequest request;
        request.source = release;
        request.target = target;
        request.trustedKeys = readTrustedKeys({publicKeyLine("unprotected")});
        FakeRunObserver observer;
        RunResult result;
        QCOMPARE(errorOf([&] { result = runRelease(request, observer); }), error);
        QCOMPARE(readFile(target), error == 0 ? oldBytes : QByteArray("in service"));
        QCOMPARE(result.release, error == 0 ? quint64(1) : quint64(0));
    }
};

QTEST_GUILESS_MAIN(TestSignedRelease)
#include "test_signedrelease.moc"
