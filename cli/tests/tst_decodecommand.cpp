#include "clicommandrun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

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

    QTest::newRow("TETRA") << "TETRA" << QFINDTESTDATA("../../codecs/tests/data/ru1.tetra")
                           << QFINDTESTDATA("../../codecs/tests/data/ru1.pcm");
    QTest::newRow("TETRA, bad frames") << "TETRA" << QFINDTESTDATA("../../codecs/tests/data/ru1-bfi.tetra")
                                       << QFINDTESTDATA("../../codecs/tests/data/ru1-bfi.pcm");
    QTest::newRow("G726-32") << "G726-32" << QFINDTESTDATA("../../codecs/tests/data/ru1.g726")
                             << QFINDTESTDATA("../../codecs/tests/data/ru1-g726.pcm");
}

void tst_DecodeCommand::referenceVectors()
{
    QFETCH(QString, encoding);
    QFETCH(QString, coded);
    QFETCH(QString, reference);
    QVERIFY(!coded.isEmpty() && !reference.isEmpty());
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.pcm"));
    QCOMPARE(runCli({"decode", "--encoding", encoding, coded, out}).status, 0);
    QVERIFY(readAll(out) == readAll(reference));
}

void tst_DecodeCommand::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");

    QTemporaryDir dir;
    const QString input = QFINDTESTDATA("../../codecs/tests/data/ru1.tetra");
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
