#include "copy/FileExists.h"
#include "platform/DirectorySearch.h"
#include "support/FileFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;
using namespace tarsel::test;
namespace Attr = tarsel::platform::Attr;

class TestFileExists : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QDir root(dir.path());
        for (const char* folder : {"files", "files/sub", "onlyfolder/sub", "onlyhidden", "empty"})
            QVERIFY(root.mkpath(folder));
        QVERIFY(writeFile(dir.filePath("files/front.accdb"), "x"));
        QVERIFY(writeFile(dir.filePath("files/readonly.accdb"), "x"));
        QVERIFY(QFile::setPermissions(dir.filePath("files/readonly.accdb"), QFile::ReadOwner));
        // Hidden by name on Linux, by the attribute on Windows.
        for (const char* hidden : {"files/.hidden", "onlyhidden/.hidden"}) {
            QVERIFY(writeFile(dir.filePath(hidden), "x"));
            QCOMPARE(setDosAttributes(dir.filePath(hidden), Attr::Hidden), QString());
        }
        if (missing(Facility::Fifo).isEmpty())
            QVERIFY(makeFifo(dir.filePath("files/fifo")));
    }

    void searches_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("file");
        QTest::addColumn<bool>("folder");
        QTest::newRow("ordinary file") << "files/front.accdb" << true << true;
        QTest::newRow("read-only file") << "files/readonly.accdb" << true << true;
        QTest::newRow("hidden file") << "files/.hidden" << false << false;
        QTest::newRow("folder") << "files/sub" << false << true;
        QTest::newRow("FIFO") << "files/fifo" << false << false;
        QTest::newRow("*.* with a file") << "files/*.*" << true << true;
        QTest::newRow("*.* with only a folder") << "onlyfolder/*.*" << false << true;
        QTest::newRow("*.* with only a hidden file") << "onlyhidden/*.*" << false << false;
        QTest::newRow("*.* in an empty folder") << "empty/*.*" << false << false;
        QTest::newRow("? wildcard") << "files/front.accd?" << true << true;
        QTest::newRow("name missing") << "files/back.accdb" << false << false;
        QTest::newRow("folder missing") << "nowhere/front.accdb" << false << false;
        QTest::newRow("ends with a slash") << "files/" << false << false;
    }

    void searches() {
        QFETCH(QString, path);
        QFETCH(bool, file);
        QFETCH(bool, folder);
        if (const QString why = missing(Facility::Fifo); path.endsWith("fifo") && !why.isEmpty())
            QSKIP(qPrintable(why));
        QCOMPARE(FileExists(dir.filePath(path)), file);
        QCOMPARE(FolderExists(dir.filePath(path)), folder);
    }

    // The attribute bits themselves: hidden and system entries count as neither file nor folder,
    // whatever else they are, while read-only ones count; a search passes over them to the next.
    void filtersByAttributes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<bool>("file");
        QTest::addColumn<bool>("folder");
        QTest::newRow("hidden file") << ".entry" << false << Attr::Hidden << false << false;
        QTest::newRow("system file") << "entry" << false << Attr::System << false << false;
        QTest::newRow("hidden read-only file")
            << ".entry" << false << (Attr::Hidden | Attr::ReadOnly) << false << false;
        QTest::newRow("read-only folder") << "entry" << true << Attr::ReadOnly << false << true;
        QTest::newRow("hidden folder") << ".entry" << true << Attr::Hidden << false << false;
        QTest::newRow("system folder") << "entry" << true << Attr::System << false << false;
    }

    void filtersByAttributes() {
        QFETCH(QString, name);
        QFETCH(bool, isFolder);
        QFETCH(quint32, attributes);
        QFETCH(bool, file);
        QFETCH(bool, folder);
        const QTemporaryDir where(dir.filePath("attributes-XXXXXX"));
        const QString entry = where.filePath(name);
        QVERIFY(isFolder ? QDir().mkdir(entry) : writeFile(entry, "x"));
        if (const QString why = setDosAttributes(entry, attributes); !why.isEmpty())
            QSKIP(qPrintable(why));
        const auto cleanUp =
            qScopeGuard([&] { setDosAttributes(entry, attributes & Attr::Hidden); });

        QCOMPARE(FileExists(entry), file);
        QCOMPARE(FolderExists(entry), folder);
        QCOMPARE(FileExists(where.filePath("*")), file);
        QCOMPARE(FolderExists(where.filePath("*")), folder);

        // An ordinary file beside it is found, whichever of the two the search meets first.
        QVERIFY(writeFile(where.filePath("plain"), "x"));
        QVERIFY(FileExists(where.filePath("*")));
        QVERIFY(FolderExists(where.filePath("*")));
    }

    void emptyPathIsNothing() {
        QVERIFY(!FileExists(QString()));
        QVERIFY(!FolderExists(QString()));
    }
};

QTEST_GUILESS_MAIN(TestFileExists)
#include "test_fileexists.moc"
