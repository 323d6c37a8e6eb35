#include "player/engine/savethread.h"
#include "testsupport/testrecording.h"
#include "testsupport/wavefile.h"

#include <QSignalSpy>
#include <QtTest>

using namespace TestRecordingData;

namespace {

constexpr double kWholeRecording = 4294967295.0;
constexpr int kWaitMs = 30000;

// One export run on its own thread, waited for to the end.
class ExportRun
{
public:
    explicit ExportRun(SaveThread *thread)
        : m_thread(thread)
        , progress(thread, &SaveThread::progressChanged)
        , failures(thread, &SaveThread::exportFailed)
    {
    }
    // Starts the loop and the export, waits until it has ended, then stops
    // and joins the thread (the spies are read only after that).
    bool run()
    {
        m_thread->start();
        m_thread->startProcess();
        QElapsedTimer timer;
        timer.start();
        while (m_thread->currentState() == SaveThread::Exporting && timer.elapsed() < kWaitMs)
            QThread::msleep(5);
        const bool ended = m_thread->currentState() != SaveThread::Exporting;
        m_thread->finish();
        m_thread->wait();
        return ended;
    }
    QList<double> progressValues() const
    {
        QList<double> values;
        for (const QList<QVariant> &call : progress)
            values.append(call.at(0).toDouble());
        return values;
    }

private:
    SaveThread *m_thread;

public:
    QSignalSpy progress;
    QSignalSpy failures;
};

// One A-law stream with a 100 ms frame at each of `frameTimes` (ms);
// returns it as indexed.
QList<StreamDescriptor> oneStream(TestRecording &recording, const QList<quint32> &frameTimes)
{
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    for (quint32 t : frameTimes)
        recording.frame(t, 1, TestRecordingData::alaw(800));
    return recording.index();
}

void prepare(SaveThread *thread, const QList<StreamDescriptor> &streams, const QString &path, double begin,
             double duration, bool withPause, uint rate = 8000)
{
    thread->setSampleRate(rate);
    thread->setStreams(streams);
    thread->setFileName(path);
    thread->setRange(begin, duration);
    thread->setFlagWithPause(withPause);
}

} // namespace

class tst_SaveThread : public QObject
{
    Q_OBJECT

private slots:
    void fileSizes_data();
    void fileSizes();
    void noSoundWritesNothing_data();
    void noSoundWritesNothing();
    void wholeRecordingWithPausesEndsAfterLastFrame();
    void mixesAndClipsChannelsAtTheSameTime();
    void exportsEveryCoding();
    void fileThatCannotBeCreatedFails();
    void stopProcessLeavesValidFile();
    void setRangeWhileExportingHasNoEffect();
    void rateChangeWaitsForTheExport();
    void zeroRateIsIgnored();
    void idleCommandsAreHarmless();
};

void tst_SaveThread::fileSizes_data()
{
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("duration");
    QTest::addColumn<bool>("withPause");
    QTest::addColumn<uint>("rate");
    QTest::addColumn<int>("dataBytes");
    // Frames of 100 ms at 0, 500 (stream 1) and 60000 ms (stream 2).
    QTest::newRow("1000 ms with pauses") << 0.0 << 1000.0 << true << 8000u << 16000;
    QTest::newRow("1000 ms with pauses at 16000 Hz") << 0.0 << 1000.0 << true << 16000u << 32000;
    QTest::newRow("range past the last frame keeps its length") << 59500.0 << 2000.0 << true << 8000u << 32000;
    QTest::newRow("negative duration counts as its size") << 0.0 << -1000.0 << true << 8000u << 16000;
    // Each frame: its period plus the one that detects its end.
    QTest::newRow("whole recording without pauses") << 0.0 << kWholeRecording << false << 8000u << 6 * 1600;
    QTest::newRow("without pauses from inside the gap") << 1000.0 << kWholeRecording << false << 8000u << 2 * 1600;
}

void tst_SaveThread::fileSizes()
{
    QFETCH(double, begin);
    QFETCH(double, duration);
    QFETCH(bool, withPause);
    QFETCH(uint, rate);
    QFETCH(int, dataBytes);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("b"));
    recording.addStream(3, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("c"));
    recording.frame(0, 1, alaw(800));
    recording.text(100, 3, QStringLiteral("текст"));
    recording.frame(500, 1, alaw(800));
    recording.frame(60000, 2, alaw(800));
    const QString path = recording.filePath(QStringLiteral("out.wav"));
    SaveThread thread;
    prepare(&thread, recording.index(), path, begin, duration, withPause, rate);
    ExportRun run(&thread);
    QVERIFY(run.run());
    const WaveFile wave = WaveFile::read(path);
    QCOMPARE(wave.bytes.size(), WaveFile::kHeaderBytes + dataBytes);
    QCOMPARE(wave.dataSize(), quint32(dataBytes));
    QCOMPARE(wave.riffSize(), quint32(36 + dataBytes));
    QCOMPARE(wave.rate(), rate);
    QCOMPARE(run.progressValues().last(), 1.0);
    QVERIFY(run.failures.isEmpty());
    QCOMPARE(thread.currentState(), int(SaveThread::Finishing));
}

// A range without sound, or none at all, writes no file that would look
// like its export: a previous file of that name stays as it was.
void tst_SaveThread::noSoundWritesNothing_data()
{
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("duration");
    QTest::newRow("silent range without pauses") << 1000.0 << 1000.0;
    QTest::newRow("empty range") << 1000.0 << 0.0;
}

void tst_SaveThread::noSoundWritesNothing()
{
    QFETCH(double, begin);
    QFETCH(double, duration);
    TestRecording recording;
    const QString path = recording.filePath(QStringLiteral("out.wav"));
    QVERIFY(writeFile(path, "previous"));
    SaveThread thread;
    prepare(&thread, oneStream(recording, {0, 5000}), path, begin, duration, false);
    ExportRun run(&thread);
    QVERIFY(run.run());
    QCOMPARE(readFile(path), QByteArray("previous"));
    // Told through the event loop when nothing could be begun.
    QTRY_COMPARE(run.failures.count(), 1);
    QVERIFY(!run.progressValues().contains(1.0));
    QCOMPARE(thread.failure().kind, SaveThread::NoSound);
}

// With pauses and no range end, the export ends after the last frame
// instead of writing silence up to 4294967295 ms.
void tst_SaveThread::wholeRecordingWithPausesEndsAfterLastFrame()
{
    TestRecording recording;
    const QString path = recording.filePath(QStringLiteral("out.wav"));
    SaveThread thread;
    prepare(&thread, oneStream(recording, {0, 500}), path, 0, kWholeRecording, true);
    ExportRun run(&thread);
    QVERIFY(run.run());
    const WaveFile wave = WaveFile::read(path);
    // Periods [0, 700): sound, end of frame, three silent, sound, end of frame.
    QCOMPARE(wave.samples(), 7 * 800);
    QVERIFY(wave.consistent());
    QCOMPARE(wave.sample(0), kAlawPositiveSample);
    QCOMPARE(wave.sample(800), qint16(0));
    QCOMPARE(wave.sample(5 * 800), kAlawPositiveSample);
    QCOMPARE(run.progressValues().last(), 1.0);
}

void tst_SaveThread::mixesAndClipsChannelsAtTheSameTime()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA/8000"), QStringLiteral("b"));
    recording.frame(0, 1, alaw(400, 0xAA));   // +32256
    recording.frame(0, 2, alaw(800, 0xA0));   // +22016
    recording.frame(100, 1, alaw(800, 0x2A)); // -32256
    recording.frame(100, 2, alaw(800, 0x80)); // +5504
    const QString path = recording.filePath(QStringLiteral("out.wav"));
    SaveThread thread;
    prepare(&thread, recording.index(), path, 0, 200, false);
    ExportRun run(&thread);
    QVERIFY(run.run());
    const WaveFile wave = WaveFile::read(path);
    QCOMPARE(wave.samples(), 1600);
    QCOMPARE(wave.sample(0), qint16(32767));
    QCOMPARE(wave.sample(399), qint16(32767));
    QCOMPARE(wave.sample(400), qint16(22016));
    QCOMPARE(wave.sample(800), qint16(-32256 + 5504));
}

// PCMA, G.726 and TETRA channels at the same time, after midnight.
void tst_SaveThread::exportsEveryCoding()
{
    const QByteArray tetra = tetraFrames(34); // 1020 ms
    QCOMPARE(tetra.size(), 34 * kTetraFrameBytes);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("G726-32"), QStringLiteral("b"));
    recording.addStream(3, QStringLiteral("audio"), QStringLiteral("TETRA"), QStringLiteral("c"));
    const quint32 afterMidnight = 86400000 + 1000;
    recording.frame(afterMidnight, 1, alaw(8000, 0xD5));
    recording.frame(afterMidnight, 2, g726Tone(8000));
    recording.frame(afterMidnight, 3, tetra);
    const auto streams = recording.index();
    for (int only = 0; only < 3; ++only) {
        const QString path = recording.dir() + QStringLiteral("/out%1.wav").arg(only);
        SaveThread thread;
        prepare(&thread, {streams.at(only)}, path, afterMidnight - 300, 1500, false);
        ExportRun run(&thread);
        QVERIFY(run.run());
        const WaveFile wave = WaveFile::read(path);
        QVERIFY(wave.consistent());
        // Skipped to the frame: 1000 ms of sound plus the end-detecting period.
        QVERIFY2(wave.samples() >= 10 * 800 && wave.samples() <= 12 * 800, qPrintable(QString::number(wave.samples())));
        int nonZero = 0;
        for (int i = 0; i < 10 * 800; ++i)
            nonZero += wave.sample(i) != 0;
        QVERIFY2(nonZero > 7000, qPrintable(QString::number(nonZero)));
    }
}

// The file cannot be created: the failure is reported, no progress 1.0
// pretends success, and nothing is written.
void tst_SaveThread::fileThatCannotBeCreatedFails()
{
    TestRecording recording;
    const QString path = recording.filePath(QStringLiteral("missing-folder/out.wav"));
    SaveThread thread;
    prepare(&thread, oneStream(recording, {0}), path, 0, 1000, true);
    ExportRun run(&thread);
    thread.start();
    thread.startProcess();
    QCOMPARE(thread.currentState(), int(SaveThread::Failed));
    QVERIFY(thread.errorString().contains(path));
    QCOMPARE(run.failures.count(), 0); // queued: never inside startProcess()
    QTRY_COMPARE(run.failures.count(), 1);
    QThread::msleep(250);
    thread.finish();
    thread.wait();
    QVERIFY(run.progress.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void tst_SaveThread::stopProcessLeavesValidFile()
{
    TestRecording recording;
    const QString path = recording.filePath(QStringLiteral("out.wav"));
    SaveThread thread;
    prepare(&thread, oneStream(recording, {0}), path, 0, 3600000, true);
    // Stopped from the export thread itself once a quarter is written.
    connect(&thread, &SaveThread::progressChanged, &thread, [&thread](double fraction) {
        if (fraction >= 0.25)
            thread.stopProcess();
    }, Qt::DirectConnection);
    ExportRun run(&thread);
    QVERIFY(run.run());
    QCOMPARE(thread.currentState(), int(SaveThread::Finishing));
    const WaveFile wave = WaveFile::read(path);
    QVERIFY(wave.consistent());
    // Progress is reported in steps of 0.1 % of the range (36 periods here).
    QVERIFY(wave.samples() >= 9000 * 800 && wave.samples() <= (9000 + 38) * 800);
    QVERIFY(run.progressValues().last() < 1.0);
}

void tst_SaveThread::setRangeWhileExportingHasNoEffect()
{
    TestRecording recording;
    const QString path = recording.filePath(QStringLiteral("out.wav"));
    SaveThread thread;
    prepare(&thread, oneStream(recording, {0}), path, 0, 2000, true);
    connect(&thread, &SaveThread::progressChanged, &thread, [&thread](double) {
        thread.setRange(100000, 100);
    }, Qt::DirectConnection);
    ExportRun run(&thread);
    QVERIFY(run.run());
    QCOMPARE(WaveFile::read(path).samples(), 20 * 800);
}

void tst_SaveThread::zeroRateIsIgnored()
{
    SaveThread thread;
    QCOMPARE(thread.sampleRate(), 8000);
    thread.setSampleRate(0);
    QCOMPARE(thread.sampleRate(), 8000);
    thread.setSampleRate(11025);
    QCOMPARE(thread.sampleRate(), 11025);
}

void tst_SaveThread::idleCommandsAreHarmless()
{
    SaveThread thread;
    thread.stopProcess();
    thread.removeStreams();
    thread.setStreams({StreamDescriptor{{QStringLiteral("TYPE"), QStringLiteral("audio")}}});
    QCOMPARE(thread.currentState(), int(SaveThread::Idle));
    thread.start();
    QThread::msleep(150);
    thread.finish();
    QVERIFY(thread.wait(2000));
}

// The header states one rate: a rate change during an export must not
// change the periods that follow.
void tst_SaveThread::rateChangeWaitsForTheExport()
{
    TestRecording recording;
    const QString path = recording.filePath(QStringLiteral("rate.wav"));
    SaveThread thread;
    prepare(&thread, oneStream(recording, {0}), path, 0, 60000, true);
    bool changed = false;
    connect(&thread, &SaveThread::progressChanged, &thread, [&thread, &changed](double fraction) {
        if (fraction >= 0.1 && !changed) {
            changed = true;
            thread.setSampleRate(16000);
        }
    }, Qt::DirectConnection);
    ExportRun run(&thread);
    QVERIFY(run.run());
    QVERIFY(changed);
    const WaveFile wave = WaveFile::read(path);
    QVERIFY(wave.consistent());
    QCOMPARE(wave.rate(), quint32(8000));
    QCOMPARE(wave.samples(), 60 * 8000);
}

QTEST_GUILESS_MAIN(tst_SaveThread)
#include "tst_savethread.moc"
