#include "core/RunTimeError.h"
#include "platform/ReadOnlyGuard.h"
#include "support/FileFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;

class TestReadOnlyGuard : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.path() + "/" + name; }
    static bool writable(const QString& p) { return QFile::permissions(p) & QFile::WriteOwner; }

private slots:
    void clearsWhileHeldAndRestoresUnlessDismissed_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("dismiss");
        QTest::addColumn<bool>("writableAfter");
        QTest::newRow("read-only, run failed") << true << false << false;
        QTest::newRow("read-only, replaced") << true << true << true;
        QTest::newRow("writable stays writable") << false << false << true;
    }

    void clearsWhileHeldAndRestoresUnlessDismissed() {
        QFETCH(bool, readOnly);
        QFETCH(bool, dismiss);
        QFETCH(bool, writableAfter);
        const QString file = path("app.mdb");
        QFile::remove(file);
        QVERIFY(test::writeFile(file, "old"));
        const auto mode = readOnly ? QFile::ReadOwner | QFile::ReadGroup
                                   : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(file, mode));
        {
            platform::ReadOnlyGuard guard(file);
            QVERIFY(writable(file));
            if (dismiss)
                guard.dismiss();
        }
        QCOMPARE(writable(file), writableAfter);
        // Group and other bits come back as they were.
        QCOMPARE(QFile::permissions(file) & QFile::ReadGroup, QFile::ReadGroup);
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
