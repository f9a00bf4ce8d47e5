#include "platform/Paths.h"

#include <QtTest>

using namespace tarsel::platform;

class TestPaths : public QObject {
    Q_OBJECT

private slots:
    void split_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");

        QTest::newRow("bare name") << "app.accdb"
                                   << ""
                                   << "app.accdb";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("in a folder") << "/srv/apps/app.accdb"
                                     << "/srv/apps/"
                                     << "app.accdb";
        QTest::newRow("trailing separator") << "/srv/apps/"
                                            << "/srv/apps/"
                                            << "";
        QTest::newRow("root") << "/app.accdb"
                              << "/"
                              << "app.accdb";
        QTest::newRow("the root alone") << "/"
                                        << "/"
                                        << "";
        QTest::newRow("doubled separator") << "/srv//app.accdb"
                                           << "/srv//"
                                           << "app.accdb";
        QTest::newRow("hidden name") << "apps/.app.accdb"
                                     << "apps/"
                                     << ".app.accdb";
#ifdef Q_OS_WIN
        QTest::newRow("drive root") << "C:\\app.accdb"
                                    << "C:\\"
                                    << "app.accdb";
        QTest::newRow("UNC") << "\\\\server\\share\\apps\\app.accdb"
                             << "\\\\server\\share\\apps\\"
                             << "app.accdb";
        QTest::newRow("UNC share root") << "\\\\server\\share\\app.accdb"
                                        << "\\\\server\\share\\"
                                        << "app.accdb";
        QTest::newRow("backslash after slash") << "C:/apps\\app.accdb"
                                               << "C:/apps\\"
                                               << "app.accdb";
        QTest::newRow("slash after backslash") << "C:\\apps/app.accdb"
                                               << "C:\\apps/"
                                               << "app.accdb";
        QTest::newRow("drive-relative") << "C:app.accdb"
                                        << ""
                                        << "C:app.accdb";
#else
        // A backslash is part of a Linux name, never a separator.
        QTest::newRow("backslash in a name") << "/srv/apps\\old\\app.accdb"
                                             << "/srv/"
                                             << "apps\\old\\app.accdb";
#endif
    }
    void split() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QCOMPARE(folderOf(path), folder);
        QCOMPARE(fileNameOf(path), name);
        QCOMPARE(folderOf(path) + fileNameOf(path), path);
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
