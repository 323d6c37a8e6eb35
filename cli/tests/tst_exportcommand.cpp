#include "clicommandrun.h"
#include "testrecording.h"

#include <QtEndian>
#include <QtTest>

using namespace TestRecordingData;

namespace {

constexpr int kHeaderBytes = 44;

quint32 u32At(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// PCMA (no rate), G.726 and TETRA channels, a text channel, frames at the
// same time, a gap across midnight. `lastEncoding` is the coding of the
// last audio stream, which has no frames but still chooses the rate.
QString writeRecording(TestRecording &recording, const QString &lastEncoding = QStringLiteral("PCMA"))
{
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Диспетчер"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("G726-32"), QStringLiteral("Борт"));
    recording.addStream(3, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    recording.addStream(4, QStringLiteral("audio"), QStringLiteral("TETRA"), QStringLiteral("TETRA"));
    recording.addStream(5, QStringLiteral("audio"), lastEncoding, QStringLiteral("Пустой"));
    const QByteArray tetra = tetraFrames(QFINDTESTDATA("../../codecs/tests/data/ru1.tetra"), 10); // 300 ms
    recording.frame(86399800, 1, alaw(1600));    // 200 ms before midnight
    recording.frame(86399800, 2, g726Tone(1600)); // 200 ms
    recording.text(86399900, 3, QStringLiteral("Вызов"));
    recording.frame(86460000, 4, tetra);          // a minute later
    recording.index();
    return recording.path();
}

} // namespace

class TestExportCommand : public QObject
{
    Q_OBJECT

private slots:
    void exportsFileOfExpectedSize_data();
    void exportsFileOfExpectedSize();
    void rateRule_data();
    void rateRule();
    void failures_data();
    void failures();
    void outputThatCannotBeCreatedFails();
};

void TestExportCommand::exportsFileOfExpectedSize_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("samples");
    // Without pauses: two periods of sound and one that ends the frames,
    // then three TETRA periods (its last chunk meets the frame's end).
    QTest::newRow("defaults") << QStringList() << (3 + 3) * 800;
    QTest::newRow("one channel") << QStringList{QStringLiteral("--channels"), QStringLiteral("4")} << 3 * 800;
    QTest::newRow("range") << QStringList{QStringLiteral("--begin"), QStringLiteral("86399800"),
                                          QStringLiteral("--duration"), QStringLiteral("100")} << 800;
    // With pauses from the first frame: up to the end of the TETRA frame.
    QTest::newRow("with pauses, whole recording")
        << QStringList{QStringLiteral("--with-pauses"), QStringLiteral("--begin"), QStringLiteral("86399800")}
        << (600 + 5) * 800;
    QTest::newRow("with pauses, fixed range")
        << QStringList{QStringLiteral("--with-pauses"), QStringLiteral("--begin"), QStringLiteral("86460000"),
                       QStringLiteral("--duration"), QStringLiteral("1000")} << 10 * 800;
}

void TestExportCommand::exportsFileOfExpectedSize()
{
    QFETCH(QStringList, options);
    QFETCH(int, samples);
    TestRecording recording;
    const QString input = writeRecording(recording);
    const QString output = recording.dir() + QStringLiteral("/out.wav");
    const CliRun run = runCli(QStringList{QStringLiteral("export"), input, output} + options);
    QCOMPARE(run.status, 0);
    QVERIFY(run.leftovers.isEmpty());
    const QByteArray wave = readFile(output);
    QCOMPARE(wave.size(), kHeaderBytes + 2 * samples);
    QCOMPARE(u32At(wave, 4), quint32(wave.size() - 8));
    QCOMPARE(u32At(wave, 40), quint32(2 * samples));
    QCOMPARE(u32At(wave, 24), 8000u);
}

void TestExportCommand::rateRule_data()
{
    QTest::addColumn<QString>("lastEncoding");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<quint32>("rate");
    QTest::newRow("no rate named: 8000") << "PCMA" << QStringList() << 8000u;
    QTest::newRow("last audio stream names 16000") << "PCMA/16000" << QStringList() << 16000u;
    QTest::newRow("--rate wins") << "PCMA/16000" << QStringList{QStringLiteral("--rate"), QStringLiteral("11025")} << 11025u;
}

void TestExportCommand::rateRule()
{
    QFETCH(QString, lastEncoding);
    QFETCH(QStringList, options);
    QFETCH(quint32, rate);
    TestRecording recording;
    const QString input = writeRecording(recording, lastEncoding);
    const QString output = recording.dir() + QStringLiteral("/out.wav");
    const CliRun run = runCli(QStringList{QStringLiteral("export"), input, output} + options);
    QCOMPARE(run.status, 0);
    const QByteArray wave = readFile(output);
    QCOMPARE(u32At(wave, 24), rate);
    QCOMPARE(u32At(wave, 28), 2 * rate);
    QCOMPARE((wave.size() - kHeaderBytes) % (2 * int(rate / 10)), 0); // whole 100 ms periods
}

void TestExportCommand::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("missing input") << QStringList{QStringLiteral("/nonexistent/r.rec"), QStringLiteral("OUT")} << 1;
    QTest::newRow("no output") << QStringList{QStringLiteral("IN")} << 2;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--fast")} << 2;
    QTest::newRow("bad begin") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--begin"), QStringLiteral("soon")} << 2;
    QTest::newRow("zero rate") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--rate"), QStringLiteral("0")} << 2;
    QTest::newRow("unknown channel") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--channels"), QStringLiteral("1,9")} << 2;
}

void TestExportCommand::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    TestRecording recording;
    const QString input = writeRecording(recording);
    const QString output = recording.dir() + QStringLiteral("/out.wav");
    arguments.replaceInStrings(QStringLiteral("IN"), input);
    arguments.replaceInStrings(QStringLiteral("OUT"), output);
    const CliRun run = runCli(QStringList{QStringLiteral("export")} + arguments);
    QCOMPARE(run.status, status);
    QVERIFY(!run.err.isEmpty());
    QVERIFY(!QFile::exists(output));
}

void TestExportCommand::outputThatCannotBeCreatedFails()
{
    TestRecording recording;
    const QString input = writeRecording(recording);
    const QString output = recording.dir() + QStringLiteral("/no-such-folder/out.wav");
    const CliRun run = runCli({QStringLiteral("export"), input, output});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("cannot create"), run.err.constData());
    QVERIFY(run.leftovers.isEmpty());
}

QTEST_GUILESS_MAIN(TestExportCommand)
#include "tst_exportcommand.moc"
