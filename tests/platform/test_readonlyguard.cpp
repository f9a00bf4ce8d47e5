#include "core/RunTimeError.h"
#include "platform/ReadOnlyGuard.h"
#include "platform/StagingFile.h"
#include "support/FileFixtures.h"
#include "support/TestHost.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;

namespace {

struct NoYield : Yielder {
    void yield() override {}
};

} // namespace

class TestReadOnlyGuard : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.path() + "/" + name; }
    static bool writable(const QString& p) { return QFile::permissions(p) & QFile::WriteOwner; }

private slots:
    // The old release keeps its attribute whether the new one took its name or not: a hard link
    // kept as its backup must not become writable, nor the new release read-only.
    void clearsWhileHeldAndRestoresTheOldRelease_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<bool>("writableAfter"); // the old release, under its backup's name
        QTest::newRow("read-only, run failed") << true << false << false;
        QTest::newRow("read-only, replaced: its backup stays read-only") << true << true << false;
        QTest::newRow("writable stays writable") << false << false << true;
        QTest::newRow("writable, replaced") << false << true << true;
    }

    void clearsWhileHeldAndRestoresTheOldRelease() {
        QFETCH(bool, readOnly);
        QFETCH(bool, replaced);
        QFETCH(bool, writableAfter);
        if (const QString why = test::missing(test::Facility::HardLink, dir_.path());
            !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString file = path("app.mdb");
        const QString backup = path("app.mdb.bak");
        for (const QString& name : {file, backup}) {
            QFile(name).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            QFile::remove(name);
        }
        QVERIFY(test::writeFile(file, "old"));
        QVERIFY(test::makeHardLink(file, backup));
        const auto mode = readOnly ? QFile::ReadOwner | QFile::ReadGroup
                                   : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(file, mode));
        {
            platform::ReadOnlyGuard guard(file);
            QVERIFY(writable(file));
            if (replaced) {
                platform::StagingFile staging(file, 3);
                platform::writeAt(staging.file(), "new", 3, 0);
                NoYield noYield;
                staging.commit(noYield);
            }
        }
        QCOMPARE(test::readFile(backup), QByteArray("old"));
        QCOMPARE(test::readFile(file), QByteArray(replaced ? "new" : "old"));
        QCOMPARE(writable(backup), writableAfter);
        QCOMPARE(writable(file), writableAfter || replaced);
        // Group and other bits come back as they were.
        QCOMPARE(QFile::permissions(backup) & QFile::ReadGroup, QFile::ReadGroup);
    }

    void leavesTheFileBehindALinkAlone() {
        const QString file = path("pointed-to");
        const QString link = path("link");
        if (const QString why = test::missing(test::Facility::SymbolicLink, dir_.path());
            !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(test::writeFile(file, "not ours"));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
        QVERIFY(test::makeSymbolicLink(file, link));
        platform::ReadOnlyGuard guard(link);
        QVERIFY(!writable(file));
    }

    // A new target: there is no old version to guard, and nothing is made.
    void missingFileIsNothingToGuard() {
        { platform::ReadOnlyGuard guard(path("missing")); }
        QVERIFY(!QFileInfo::exists(path("missing")));
    }
};

QTEST_GUILESS_MAIN(TestReadOnlyGuard)
#include "test_readonlyguard.moc"
