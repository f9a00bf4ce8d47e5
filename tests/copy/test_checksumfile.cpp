#include "copy/ChecksumFile.h"
#include "core/RunTimeError.h"
#include "platform/Files.h"
#include "support/FileFixtures.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace tarsel;
using namespace tarsel::test;

namespace {

// What stands under the .sha256's name.
enum class Entry { File, Folder, Fifo, Nothing, LinkToNothing };

const QByteArray Published =
    QByteArray::fromHex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
const QByteArray Other =
    QByteArray::fromHex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
const QByteArray PublishedHex = Published.toHex();

// The hex digits, the separator and the name, with a line feed.
QByteArray line(const QByteArray& hex, const QByteArray& rest) {
    return hex + rest + '\n';
}

// Comment and blank lines that bring a .sha256 with `tail` at its end to `size` bytes.
QByteArray paddedTo(qsizetype size, const QByteArray& tail) {
    QByteArray bytes;
    const QByteArray comment = "# " + QByteArray(77, '-') + '\n';
    while (bytes.size() + comment.size() + tail.size() <= size)
        bytes += comment;
    return bytes + QByteArray(size - bytes.size() - tail.size(), '\n') + tail;
}

} // namespace

Q_DECLARE_METATYPE(Entry)

class TestChecksumFile : public QObject, InTempFolder {
    Q_OBJECT

    // A fresh folder per row, so that no row sees another's entries.
    QString folder;

private slots:
    void init() {
        QVERIFY(dir.isValid());
        folder = path(QString::fromLatin1(QTest::currentDataTag()).replace(u'/', u'_'));
        QVERIFY(QDir().mkpath(folder));
    }

    void writesWhatSha256sumWrites_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << "app.mdb" << PublishedHex + "  app.mdb\n";
        QTest::newRow("UTF-8") << QStringLiteral("Übersicht é.mdb")
                               << PublishedHex + "  " + QStringLiteral("Übersicht é.mdb").toUtf8() +
                                      '\n';
        QTest::newRow("blank first") << " app.mdb" << PublishedHex + "   app.mdb\n";
        QTest::newRow("backslash") << "a\\b.mdb" << '\\' + PublishedHex + "  a\\\\b.mdb\n";
        QTest::newRow("line feed") << "a\nb.mdb" << '\\' + PublishedHex + "  a\\nb.mdb\n";
        QTest::newRow("carriage return") << "a\rb.mdb" << '\\' + PublishedHex + "  a\\rb.mdb\n";
    }

    void writesWhatSha256sumWrites() {
        QFETCH(QString, name);
        QFETCH(QByteArray, expected);
        QCOMPARE(checksumLine(Published, name), expected);
    }

    // sha256sum itself reads what checksumLine writes, and finds a changed file changed.
    void sha256sumChecksWhatIsWritten_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "app.mdb";
        QTest::newRow("UTF-8 and blanks") << QStringLiteral(" Übersicht é.mdb");
        QTest::newRow("backslash") << "a\\b.mdb";
        QTest::newRow("line feed") << "a\nb.mdb";
    }

    void sha256sumChecksWhatIsWritten() {
        QFETCH(QString, name);
        const QString sha256sum = QStandardPaths::findExecutable("sha256sum");
        if (sha256sum.isEmpty())
            QSKIP(wineVersion().isEmpty() ? "no sha256sum on this system"
                                          : "Wine runs no Linux program such as sha256sum");
        if (const QString why = missing(Facility::AnyCharacterInNames);
            !why.isEmpty() && name.contains(QRegularExpression("[\\\\\n\r]")))
            QSKIP(qPrintable(why));
        QVERIFY(writeFile(folder + '/' + name, "abc"));
        QVERIFY(writeFile(folder + "/list.sha256", checksumLine(Published, name)));
        const auto check = [&] {
            QProcess run;
            run.setWorkingDirectory(folder);
            run.start(sha256sum, {"--check", "--strict", "--status", "list.sha256"});
            return run.waitForFinished() && run.exitStatus() == QProcess::NormalExit
                       ? run.exitCode()
                       : -1;
        };
        QCOMPARE(check(), 0);
        QVERIFY(writeFile(folder + '/' + name, "abd"));
        QCOMPARE(check(), 1);
    }

    void readsThePublishedDigest_data() {
        QTest::addColumn<QString>("name");         // the release's file name
        QTest::addColumn<Entry>("entry");          // what stands under its .sha256's name
        QTest::addColumn<QByteArray>("content");   // the .sha256, when it is a file
        QTest::addColumn<QByteArray>("published"); // the digest read; empty for none
        QTest::addColumn<int>("error");            // the run-time error instead
        QTest::addColumn<QString>("mention");      // what the error's text names
        const QString app = "app.mdb";
        const auto read = [&](const char* row, const QString& name, const QByteArray& content) {
            QTest::newRow(row) << name << Entry::File << content << Published << 0 << QString();
        };
        const auto refused = [&](const char* row, const QByteArray& content, const QString& why) {
            QTest::newRow(row) << app << Entry::File << content << QByteArray()
                               << runTimeNumberOf(ErrorKind::BadChecksumFile) << why;
        };
        read("written by checksumLine", app, checksumLine(Published, app));
        read("upper-case hex", app, line(PublishedHex.toUpper(), "  app.mdb"));
        read("CRLF", app, PublishedHex + "  app.mdb\r\n");
        read("no line end", app, PublishedHex + "  app.mdb");
        read("binary marker", app, line(PublishedHex, " *app.mdb"));
        read("one blank, no marker", app, line(PublishedHex, " app.mdb"));
        read("blank first in the name", " app.mdb", checksumLine(Published, " app.mdb"));
        // As sha256sum 9.1 wrote them for such names.
        read("escaped backslash", "a\\b.mdb", '\\' + line(PublishedHex, "  a\\\\b.mdb"));
        read("escaped line feed", "a\nb.mdb", '\\' + line(PublishedHex, "  a\\nb.mdb"));
        read("several lines", app,
             line(Other.toHex(), "  setup.exe") + line(PublishedHex, "  app.mdb") +
                 line(Other.toHex(), "  readme.txt"));
        read("comments and blank lines", app,
             "# release 7\n\n" + line(PublishedHex, "  app.mdb") + "\r\n");
        read("path form", app, line(PublishedHex, "  releases/7/app.mdb"));
        read("named twice alike", app,
             line(PublishedHex, "  app.mdb") + line(PublishedHex, "  ./app.mdb"));
        read("64 KiB, the most read", app, paddedTo(64 * 1024, line(PublishedHex, "  app.mdb")));
        if (missing(Facility::CaseBlindNames).isEmpty())
            read("name in other case", app, line(PublishedHex, "  APP.MDB"));
        else
            refused("name in other case", line(PublishedHex, "  APP.MDB"),
                    "(APP.MDB), not app.mdb");

        // The digest alone, as PowerShell's (Get-FileHash NAME).Hash gives it.
        read("the digest alone", app, PublishedHex.toUpper());
        read("the digest alone, a line end", app, PublishedHex + '\n');
        read("the digest alone, CRLF", app, PublishedHex.toUpper() + "\r\n");
        refused("the digest alone, one digit short", PublishedHex.chopped(1), "Line 1");
        refused("the digest alone, twice", PublishedHex + '\n' + PublishedHex + '\n', "Line 1");

        refused("empty", "", "Empty");
        refused("comments only", "# nothing published\n\n", "no checksum line");
        refused("one hex digit short", line(PublishedHex.chopped(1), "  app.mdb"), "Line 1");
        refused("65 hex digits", line(PublishedHex + "0", "  app.mdb"), "Line 1");
        refused("not hex", line("g" + PublishedHex.mid(1), "  app.mdb"), "Line 1");
        refused("no name", PublishedHex + " \n", "Line 1");
        refused("binary garbage", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "Line 1");
        refused("NUL in the name", line(PublishedHex, QByteArray("  app.mdb\0x", 11)), "Line 1");
        refused("escape sha256sum never writes", '\\' + line(PublishedHex, "  app\\tmdb"),
                "Line 1");
        refused("bad line before the right one",
                "# list\nsetup.exe OK\n" + line(PublishedHex, "  app.mdb"), "Line 2");
        refused("another file's name", line(PublishedHex, "  setup.exe"),
                "another file (setup.exe), not app.mdb");
        refused("a name that only ends alike", line(PublishedHex, "  old-app.mdb"),
                "(old-app.mdb), not app.mdb");
        refused("other files only",
                line(PublishedHex, "  setup.exe") + line(PublishedHex, "  app.mdb/readme"),
                "2 other files");
        refused("named twice with different digests",
                line(PublishedHex, "  app.mdb") + line(Other.toHex(), "  app.mdb"), "twice");
        refused("larger than 64 KiB", paddedTo(64 * 1024 + 1, line(PublishedHex, "  app.mdb")),
                "64 KiB");

        QTest::newRow("nothing of that name")
            << app << Entry::Nothing << QByteArray() << QByteArray() << 0 << QString();
        // NAME.sha256 would pass the 255-byte limit: nothing can have that name.
        QTest::newRow("a name that cannot exist") << QString(250, u'a') << Entry::Nothing
                                                  << QByteArray() << QByteArray() << 0 << QString();
        QTest::newRow("folder of that name")
            << app << Entry::Folder << QByteArray() << QByteArray()
            << runTimeNumberOf(ErrorKind::PathFileAccess) << QString();
        QTest::newRow("FIFO of that name")
            << app << Entry::Fifo << QByteArray() << QByteArray()
            << runTimeNumberOf(ErrorKind::PathFileAccess) << QString();
        QTest::newRow("symbolic link to nothing")
            << app << Entry::LinkToNothing << QByteArray() << QByteArray()
            << runTimeNumberOf(ErrorKind::FileNotFound) << QString();
    }

    void readsThePublishedDigest() {
        QFETCH(QString, name);
        QFETCH(Entry, entry);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, published);
        QFETCH(int, error);
        QFETCH(QString, mention);
        if (const QString why = missing(Facility::AnyCharacterInNames);
            !why.isEmpty() && name.contains(QRegularExpression("[\\\\\n\r]")))
            QSKIP(qPrintable(why));
        if (const QString why = missing(Facility::Fifo); entry == Entry::Fifo && !why.isEmpty())
            QSKIP(qPrintable(why));
        if (const QString why = missing(Facility::SymbolicLink, folder);
            entry == Entry::LinkToNothing && !why.isEmpty())
            QSKIP(qPrintable(why));

        const QString file = folder + '/' + name;
        const QString list = checksumPathFor(file);
        QCOMPARE(list, file + ".sha256");
        switch (entry) {
        case Entry::File:
            QVERIFY(writeFile(list, content));
            break;
        case Entry::Folder:
            QVERIFY(QDir().mkdir(list));
            break;
        case Entry::Fifo:
            QVERIFY(makeFifo(list));
            break;
        case Entry::LinkToNothing:
            QVERIFY(makeSymbolicLink(folder + "/gone.sha256", list));
            break;
        case Entry::Nothing:
            break;
        }

        try {
            const std::optional<QByteArray> digest = readRecordedChecksum(file);
            QCOMPARE(0, error);
            QCOMPARE(digest.has_value(), !published.isEmpty());
            if (digest)
                QCOMPARE(hexOf(*digest), hexOf(published));
        } catch (const RunTimeError& e) {
            QCOMPARE(e.number(), error);
            QVERIFY2(e.description().contains(list), qPrintable(e.description()));
            QVERIFY2(e.description().contains(mention), qPrintable(e.description()));
        }
    }

    // A release's .sha256 counts only where it was written since the release last changed:
    // otherwise it describes the version the release replaced. A coarse clock gives both the same
    // time.
    void countsOnlyIfNotOlderThanTheRelease_data() {
        QTest::addColumn<qint64>("releaseLater"); // the release's change time after the .sha256's
        QTest::addColumn<bool>("taken");
        QTest::newRow("written after the release changed") << qint64(-1) << true;
        QTest::newRow("at the same time") << qint64(0) << true;
        QTest::newRow("written before the release changed") << qint64(1) << false;
    }

    void countsOnlyIfNotOlderThanTheRelease() {
        QFETCH(qint64, releaseLater);
        QFETCH(bool, taken);
        const QString file = folder + "/app.mdb";
        QVERIFY(writeFile(checksumPathFor(file), checksumLine(Published, "app.mdb")));
        const qint64 written =
            platform::stateOf(platform::openForReading(checksumPathFor(file))).changed;
        QVERIFY(written != 0);
        try {
            QCOMPARE(hexOf(readPublishedChecksum(file, written + releaseLater).value()),
                     hexOf(Published));
            QVERIFY(taken);
        } catch (const RunTimeError& e) {
            QVERIFY2(!taken, qPrintable(e.description()));
            QCOMPARE(e.number(), runTimeNumberOf(ErrorKind::ChecksumDiffers));
            QVERIFY2(e.description().contains(checksumPathFor(file)), qPrintable(e.description()));
        }
        // A version in service keeps its record whatever Access writes into it.
        QCOMPARE(hexOf(readRecordedChecksum(file).value()), hexOf(Published));
    }
};

QTEST_GUILESS_MAIN(TestChecksumFile)
#include "test_checksumfile.moc"
