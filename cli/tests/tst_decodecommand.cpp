#include "cli/tests/clicommandrun.h"

#include <QFile>
#include <QtTest>

class tst_DecodeCommand : public QObject
{
    Q_OBJECT

private slots:
    void referenceVectors_data();
    void referenceVectors();
    void failures_data();
    void failures();
};

void tst_DecodeCommand::referenceVectors_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("coded");
    QTest::addColumn<QString>("reference");

    QTest::newRow("TETRA") << "TETRA" << codecTestData("ru1.tetra")
                           << codecTestData("ru1.pcm");
    QTest::newRow("TETRA, bad frames") << "TETRA" << codecTestData("ru1-bfi.tetra")
                                       << codecTestData("ru1-bfi.pcm");
    QTest::newRow("G726-32") << "G726-32" << codecTestData("ru1.g726")
                             << codecTestData("ru1-g726.pcm");
}

void tst_DecodeCommand::referenceVectors()
{
    QFETCH(QString, encoding);
    QFETCH(QString, coded);
    QFETCH(QString, reference);
    QVERIFY(QFile::exists(coded) && QFile::exists(reference));
    TempDir dir;
    const QString out = dir.filePath(QStringLiteral("out.pcm"));
    QCOMPARE(runCli({"decode", "--encoding", encoding, coded, out}).status, 0);
    QVERIFY(readFile(out) == readFile(reference));
}

void tst_DecodeCommand::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");

    const QString input = codecTestData("ru1.tetra");
    QTest::newRow("unknown encoding") << QStringList{"decode", "--encoding", "GSM", input, "/tmp/x.pcm"} << 1;
    QTest::newRow("names are case-sensitive") << QStringList{"decode", "--encoding", "tetra", input, "/tmp/x.pcm"} << 1;
    QTest::newRow("missing input") << QStringList{"decode", "--encoding", "PCMA", "/nonexistent.al", "/tmp/x.pcm"} << 1;
    QTest::newRow("input is a directory") << QStringList{"decode", "--encoding", "PCMA", "/tmp", "/tmp/x.pcm"} << 1;
    QTest::newRow("output folder missing") << QStringList{"decode", "--encoding", "PCMA", input, "/nonexistent/x.pcm"} << 1;
    QTest::newRow("no encoding") << QStringList{"decode", input, "/tmp/x.pcm"} << 2;
}

void tst_DecodeCommand::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    const CliRun run = runCli(arguments);
    QCOMPARE(run.status, status);
    QCOMPARE(run.err.count('\n'), 1);
}

QTEST_GUILESS_MAIN(tst_DecodeCommand)
#include "tst_decodecommand.moc"
