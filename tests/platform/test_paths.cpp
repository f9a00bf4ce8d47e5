#include "platform/Paths.h"

#include <QtTest>

using namespace tarsel::platform;

namespace {

// Which systems' path rule a row holds for: Windows separates with a backslash too, Linux keeps
// it in a name.
enum Rule { Both, BackslashSeparates, BackslashInName };

} // namespace

class TestPaths : public QObject {
    Q_OBJECT

private slots:
    void split_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rule");

        QTest::newRow("bare name") << "app.accdb"
                                   << ""
                                   << "app.accdb" << int(Both);
        QTest::newRow("empty") << ""
                               << ""
                               << "" << int(Both);
        QTest::newRow("in a folder") << "/srv/apps/app.accdb"
                                     << "/srv/apps/"
                                     << "app.accdb" << int(Both);
        QTest::newRow("trailing separator") << "/srv/apps/"
                                            << "/srv/apps/"
                                            << "" << int(Both);
        QTest::newRow("root") << "/app.accdb"
                              << "/"
                              << "app.accdb" << int(Both);
        QTest::newRow("the root alone") << "/"
                                        << "/"
                                        << "" << int(Both);
        QTest::newRow("doubled separator") << "/srv//app.accdb"
                                           << "/srv//"
                                           << "app.accdb" << int(Both);
        QTest::newRow("hidden name") << "apps/.app.accdb"
                                     << "apps/"
                                     << ".app.accdb" << int(Both);
        QTest::newRow("drive root") << "C:\\app.accdb"
                                    << "C:\\"
                                    << "app.accdb" << int(BackslashSeparates);
        QTest::newRow("UNC") << "\\\\server\\share\\apps\\app.accdb"
                             << "\\\\server\\share\\apps\\"
                             << "app.accdb" << int(BackslashSeparates);
        QTest::newRow("UNC share root") << "\\\\server\\share\\app.accdb"
                                        << "\\\\server\\share\\"
                                        << "app.accdb" << int(BackslashSeparates);
        QTest::newRow("backslash after slash") << "C:/apps\\app.accdb"
                                               << "C:/apps\\"
                                               << "app.accdb" << int(BackslashSeparates);
        QTest::newRow("slash after backslash") << "C:\\apps/app.accdb"
                                               << "C:\\apps/"
                                               << "app.accdb" << int(BackslashSeparates);
        QTest::newRow("drive-relative") << "C:app.accdb"
                                        << ""
                                        << "C:app.accdb" << int(BackslashSeparates);
        // A backslash is part of a Linux name, never a separator.
        QTest::newRow("backslash in a name") << "/srv/apps\\old\\app.accdb"
                                             << "/srv/"
                                             << "apps\\old\\app.accdb" << int(BackslashInName);
    }
    void split() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(int, rule);
        const bool backslashSeparates = separator() == u'\\';
        if (rule == BackslashSeparates && !backslashSeparates)
            QSKIP("Windows' spelling: here a backslash is part of a name");
        if (rule == BackslashInName && backslashSeparates)
            QSKIP("a Linux name: here a backslash separates");
        QCOMPARE(folderOf(path), folder);
        QCOMPARE(fileNameOf(path), name);
        QCOMPARE(folderOf(path) + fileNameOf(path), path);
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
