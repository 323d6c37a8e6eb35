#include "cli/tests/clicommandrun.h"
#include "testsupport/testrecording.h"
#include "testsupport/wavefile.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestRecordingData;

namespace {

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
    const QByteArray tetra = tetraFrames(10); // 300 ms
    recording.frame(86399800, 1, alaw(1600));    // 200 ms before midnight
    recording.frame(86399800, 2, g726Tone(1600)); // 200 ms
    recording.text(86399900, 3, QStringLiteral("Вызов"));
    recording.frame(86460000, 4, tetra);          // a minute later
    recording.index();
    return recording.path();
}

} // namespace

class tst_ExportCommand : public QObject
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
    void specialOutputFiles_data();
    void specialOutputFiles();
    void mixedRatesKeepSpeedAndPitch_data();
    void mixedRatesKeepSpeedAndPitch();
};

void tst_ExportCommand::exportsFileOfExpectedSize_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("samples");
    // Without pauses: two periods of sound and one that ends the frames,
    // then three TETRA periods (its last chunk meets the frame's end).
    QTest::newRow("defaults") << QStringList() << (3 + 3) * 800;
    QTest::newRow("one channel") << QStringList{QStringLiteral("--channels"), QStringLiteral("4")} << 3 * 800;
    QTest::newRow("gains") << QStringList{QStringLiteral("--gain"), QStringLiteral("4=-12"), QStringLiteral("--gain"),
                                          QStringLiteral("4=+6")} << (3 + 3) * 800;
    QTest::newRow("range") << QStringList{QStringLiteral("--begin"), QStringLiteral("86399800"),
                                          QStringLiteral("--duration"), QStringLiteral("100")} << 800;
    // With pauses from the first frame: up to the end of the TETRA frame.
    QTest::newRow("with pauses, whole recording")
        << QStringList{QStringLiteral("--with-pauses"), QStringLiteral("--begin"), QStringLiteral("86399800")}
        << (600 + 5) * 800;
    // A range past the last frame ends with it: 300 ms of TETRA frame are left.
    QTest::newRow("with pauses, range beyond the last frame")
        << QStringList{QStringLiteral("--with-pauses"), QStringLiteral("--begin"), QStringLiteral("86460000"),
                       QStringLiteral("--duration"), QStringLiteral("1000")} << 3 * 800;
}

void tst_ExportCommand::exportsFileOfExpectedSize()
{
    QFETCH(QStringList, options);
    QFETCH(int, samples);
    TestRecording recording;
    const QString input = writeRecording(recording);
    const QString output = recording.filePath(QStringLiteral("out.wav"));
    const CliRun run = runCli(QStringList{QStringLiteral("export"), input, output} + options);
    QCOMPARE(run.status, 0);
    QVERIFY(run.leftovers.isEmpty());
    const WaveFile wave = WaveFile::read(output);
    QCOMPARE(wave.bytes.size(), WaveFile::kHeaderBytes + 2 * samples);
    QCOMPARE(wave.riffSize(), quint32(wave.bytes.size() - 8));
    QCOMPARE(wave.dataSize(), quint32(2 * samples));
    QCOMPARE(wave.rate(), 8000u);
}

void tst_ExportCommand::rateRule_data()
{
    QTest::addColumn<QString>("lastEncoding");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<quint32>("rate");
    QTest::newRow("no rate named: 8000") << "PCMA" << QStringList() << 8000u;
    QTest::newRow("last audio stream names 16000") << "PCMA/16000" << QStringList() << 16000u;
    QTest::newRow("--rate wins") << "PCMA/16000" << QStringList{QStringLiteral("--rate"), QStringLiteral("11025")} << 11025u;
    // A rate the decoders would not take falls back like a missing one
    // (below 10 Hz the export would never end).
    QTest::newRow("recording names 5 Hz") << "PCMA/5" << QStringList() << 8000u;
    QTest::newRow("recording names 5 Hz, with pauses") << "PCMA/5" << QStringList{QStringLiteral("--with-pauses")} << 8000u;
}

void tst_ExportCommand::rateRule()
{
    QFETCH(QString, lastEncoding);
    QFETCH(QStringList, options);
    QFETCH(quint32, rate);
    TestRecording recording;
    const QString input = writeRecording(recording, lastEncoding);
    const QString output = recording.filePath(QStringLiteral("out.wav"));
    const CliRun run = runCli(QStringList{QStringLiteral("export"), input, output} + options);
    QCOMPARE(run.status, 0);
    const WaveFile wave = WaveFile::read(output);
    QCOMPARE(wave.rate(), rate);
    QCOMPARE(wave.byteRate(), 2 * rate);
    QCOMPARE((wave.bytes.size() - WaveFile::kHeaderBytes) % (2 * int(rate / 10)), 0); // whole 100 ms periods
}

void tst_ExportCommand::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("missing input") << QStringList{QStringLiteral("/nonexistent/r.rec"), QStringLiteral("OUT")} << 1;
    QTest::newRow("no output") << QStringList{QStringLiteral("IN")} << 2;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--fast")} << 2;
    QTest::newRow("bad begin") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--begin"), QStringLiteral("soon")} << 2;
    QTest::newRow("zero rate") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--rate"), QStringLiteral("0")} << 2;
    // Below 10 Hz a 100 ms period holds no sample: the export would never end.
    QTest::newRow("rate below 1000 Hz") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--rate"), QStringLiteral("5")} << 2;
    QTest::newRow("rate above 192000 Hz") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--rate"), QStringLiteral("192001")} << 2;
    QTest::newRow("unknown channel") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--channels"), QStringLiteral("1,9")} << 2;
    QTest::newRow("gain without dB") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--gain"), QStringLiteral("4")} << 2;
    QTest::newRow("gain above 12 dB") << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--gain"), QStringLiteral("4=13")} << 2;
    QTest::newRow("gain of a channel not exported")
        << QStringList{QStringLiteral("IN"), QStringLiteral("OUT"), QStringLiteral("--channels"), QStringLiteral("4"),
                       QStringLiteral("--gain"), QStringLiteral("9=-3")} << 2;
}

void tst_ExportCommand::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    TestRecording recording;
    const QString input = writeRecording(recording);
    const QString output = recording.filePath(QStringLiteral("out.wav"));
    arguments.replaceInStrings(QStringLiteral("IN"), input);
    arguments.replaceInStrings(QStringLiteral("OUT"), output);
    const CliRun run = runCli(QStringList{QStringLiteral("export")} + arguments);
    QCOMPARE(run.status, status);
    QVERIFY(!run.err.isEmpty());
    QVERIFY(!QFile::exists(output));
}

void tst_ExportCommand::outputThatCannotBeCreatedFails()
{
    TestRecording recording;
    const QString input = writeRecording(recording);
    const QString output = recording.filePath(QStringLiteral("no-such-folder/out.wav"));
    const CliRun run = runCli({QStringLiteral("export"), input, output});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("cannot create"), run.err.constData());
    QVERIFY(run.leftovers.isEmpty());
}

// Outputs that are no regular file are written into, never replaced: a
// device keeps its node, and /dev/full reports the full disk. The same holds
// for decoded audio, which a FIFO may take as well.
void tst_ExportCommand::specialOutputFiles_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("viaSymlink");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    for (const QString &command : {QStringLiteral("export"), QStringLiteral("decode")}) {
        const QByteArray prefix = command.toLatin1() + ": ";
        QTest::newRow(prefix + "/dev/null") << command << "/dev/null" << false << 0 << QString();
        QTest::newRow(prefix + "/dev/full") << command << "/dev/full" << false << 1 << "No space left on device";
        QTest::newRow(prefix + "symlink to /dev/full") << command << "/dev/full" << true << 1 << "No space left on device";
    }
    // A WAV file's sizes are filled in by seeking back, which a pipe cannot do.
    QTest::newRow("export: FIFO") << "export" << "FIFO" << false << 1 << "pipe";
    QTest::newRow("decode: FIFO") << "decode" << "FIFO" << false << 0 << QString();
}

void tst_ExportCommand::specialOutputFiles()
{
    QFETCH(QString, command);
    QFETCH(QString, target);
    QFETCH(bool, viaSymlink);
    QFETCH(int, status);
    QFETCH(QString, message);
    TestRecording recording;
    const QString input = writeRecording(recording);
    int fifoReader = -1;
    if (target == QLatin1String("FIFO")) {
        target = recording.filePath(QStringLiteral("fifo"));
        QCOMPARE(mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        // Open for reading first, so that the writer does not wait for a reader.
        fifoReader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(fifoReader >= 0);
    }
    QString output = target;
    if (viaSymlink) {
        output = recording.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(target, output));
    }
    struct stat before = {};
    QCOMPARE(stat(QFile::encodeName(target).constData(), &before), 0);
    const QStringList arguments = command == QLatin1String("export")
        ? QStringList{command, input, output}
        : QStringList{command, QStringLiteral("--encoding"), QStringLiteral("PCMA"), input, output};
    const CliRun run = runCli(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    struct stat after = {};
    QCOMPARE(stat(QFile::encodeName(target).constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_rdev, before.st_rdev);
    QCOMPARE(QFileInfo(output).isSymLink(), viaSymlink);
    if (fifoReader >= 0) {
        // Decoded A-law is two bytes per input byte.
        QByteArray received(2 * int(QFileInfo(input).size()) + 1, '\0');
        const ssize_t got = ::read(fifoReader, received.data(), size_t(received.size()));
        ::close(fifoReader);
        if (status == 0)
            QCOMPARE(int(got), 2 * int(QFileInfo(input).size()));
        else
            QVERIFY(got <= 0); // refused before anything was written
    }
}

namespace {

// Positive-going zero crossings per second over samples [from, to) of a
// 16-bit WAV: the frequency of a clean tone.
double toneFrequency(const WaveFile &wave, int rate, int from, int to)
{
    int crossings = 0;
    for (int i = from + 1; i < to; ++i)
        crossings += wave.sample(i - 1) < 0 && wave.sample(i) >= 0;
    return crossings * double(rate) / (to - from);
}

// First and last sample of a 16-bit WAV in [from, to) louder than `level`,
// counted from `from`.
QPair<int, int> loudSpan(const WaveFile &wave, int from, int to, int level)
{
    int first = -1;
    int last = -1;
    for (int i = from; i < qMin(to, wave.samples()); ++i) {
        if (qAbs(int(wave.sample(i))) > level) {
            if (first < 0)
                first = i - from;
            last = i - from;
        }
    }
    return qMakePair(first, last);
}

} // namespace

// An 8 kHz stream and a 16 kHz stream in one mix: each is resampled to the
// output rate, so every tone lasts as long and sounds as high as recorded.
void tst_ExportCommand::mixedRatesKeepSpeedAndPitch_data()
{
    QTest::addColumn<int>("rate");
    QTest::newRow("16000 Hz, the recording's rate") << 16000;
    QTest::newRow("8000 Hz") << 8000;
    QTest::newRow("11025 Hz") << 11025;
}

void tst_ExportCommand::mixedRatesKeepSpeedAndPitch()
{
    QFETCH(int, rate);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA/8000"), QStringLiteral("8 kHz"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA/16000"), QStringLiteral("16 kHz"));
    recording.frame(0, 1, alawTone(8000, 8000, 1000));      // 1 s of 1000 Hz at 0 ms
    recording.frame(2000, 2, alawTone(16000, 16000, 3000)); // 1 s of 3000 Hz at 2000 ms
    recording.index();
    const QString output = recording.filePath(QStringLiteral("mix.wav"));
    const CliRun run = runCli({QStringLiteral("export"), recording.path(), output, QStringLiteral("--with-pauses"),
                               QStringLiteral("--duration"), QStringLiteral("3000"), QStringLiteral("--rate"),
                               QString::number(rate)});
    QCOMPARE(run.status, 0);
    const WaveFile wave = WaveFile::read(output);
    QCOMPARE(wave.rate(), quint32(rate));
    const int periodSamples = rate / 10;
    QCOMPARE(wave.samples(), 30 * periodSamples); // 3 s of 100 ms periods
    const int second = 10 * periodSamples;
    const int slack = rate / 100; // 10 ms
    // The first tone fills the first second, the second tone the last.
    const QPair<int, int> first = loudSpan(wave, 0, second + second / 2, 2000);
    QVERIFY2(first.first <= slack && qAbs(first.second - second) <= slack,
             qPrintable(QStringLiteral("first tone %1..%2").arg(first.first).arg(first.second)));
    const QPair<int, int> last = loudSpan(wave, 2 * second - slack, wave.samples(), 2000);
    QVERIFY2(qAbs(last.first - slack) <= slack && qAbs(last.second - (second + slack)) <= 2 * slack,
             qPrintable(QStringLiteral("second tone %1..%2").arg(last.first).arg(last.second)));
    // Pitch: measured well inside each tone.
    const double low = toneFrequency(wave, rate, second / 10, second * 9 / 10);
    const double high = toneFrequency(wave, rate, 2 * second + second / 10, 2 * second + second * 9 / 10);
    QVERIFY2(qAbs(low - 1000) < 15, qPrintable(QString::number(low)));
    QVERIFY2(qAbs(high - 3000) < 15, qPrintable(QString::number(high)));
}

QTEST_GUILESS_MAIN(tst_ExportCommand)
#include "tst_exportcommand.moc"
