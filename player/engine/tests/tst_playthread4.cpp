// PlayThread4 against a real sound server: a private PulseAudio daemon with
// a null sink as the default output, whose monitor is recorded, so every
// check on sound is made on what actually came out of the output.
#include "player/engine/fileservicer.h"
#include "player/engine/playthread4.h"
#include "player/engine/savethread.h"
#include "player/engine/tests/support/pulseserver.h"
#include "player/engine/tests/support/mixedrecording.h"
#include "player/engine/tests/support/soundcheck.h"
#include "tools/encoders.h"
#include "testsupport/testrecording.h"
#include "tools/testsignals.h"
#include "testsupport/wavefile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QtTest>

#include <memory>

namespace {

constexpr int kBytesPerMs = PulseServer::kRate * 2 / 1000; // monitor bytes per ms
constexpr int kWaitMs = 20000;      // upper bound for any wait on playback
constexpr int kSilenceThreshold = 40;
// Longest silence (samples) between sounds when pauses are skipped: output
// hiccups only (a 2000 ms pause played in time leaves well over 1000 ms).
constexpr int kSkippedQuietMax = 1000 * 8;

constexpr double kLowHz = 400;
constexpr double kHighHz = 1000;

const QString kChildVariable = QStringLiteral("VELMORA_PLAYTHREAD_CHILD");

// What a test saw of a playing thread while it waited on it.
struct Observed {
    QSet<QString> names;
    short peak = 0;
};

// Waits for the thread to reach `state`, polling its reports every 5 ms.
bool waitForState(const PlayThread4 &thread, int wanted, Observed *seen = nullptr, int timeoutMs = kWaitMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        int state = -1;
        thread.getState(nullptr, &state);
        if (seen) {
            QStringList names;
            short peak = 0;
            thread.currentStreams(&names, &peak);
            for (const QString &name : qAsConst(names))
                seen->names.insert(name);
            seen->peak = qMax(seen->peak, peak);
        }
        if (state == wanted)
            return true;
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(5);
    }
}

double positionOf(const PlayThread4 &thread)
{
    double position = -1;
    thread.getState(&position, nullptr);
    return position;
}

int stateOf(const PlayThread4 &thread)
{
    int state = -1;
    thread.getState(nullptr, &state);
    return state;
}

// A started thread with the given streams, paused at 0.
std::unique_ptr<PlayThread4> startedThread(const QList<StreamDescriptor> &streams, bool withPause = false)
{
    std::unique_ptr<PlayThread4> thread(new PlayThread4);
    for (const StreamDescriptor &d : streams)
        thread->addStream(d);
    thread->setFlagPlayWithPause(withPause);
    thread->start();
    waitForState(*thread, PlayThread4::Paused);
    return thread;
}

void finishThread(PlayThread4 *thread)
{
    thread->finish();
    thread->wait();
}

// The mix of the whole recording as the export path computes it.
QVector<qint16> exportedMix(const QList<StreamDescriptor> &streams, bool withPause, const QString &path)
{
    SaveThread save;
    save.setStreams(streams);
    save.setFileName(path);
    save.setFlagWithPause(withPause);
    save.setRange(0, SaveThread::kOpenEnd);
    QSignalSpy done(&save, &SaveThread::progressChanged);
    save.start();
    save.startProcess();
    QElapsedTimer timer;
    timer.start();
    while ((done.isEmpty() || done.last().at(0).toDouble() < 1.0) && timer.elapsed() < kWaitMs)
        done.wait(100);
    save.finish();
    save.wait();
    return WaveFile::read(path).sampleValues();
}

// The child process of noSoundServerEndsInOutputFailed: plays with no
// server reachable and reports the state the thread ended in and what the
// recording owner told its user.
int runWithoutSoundServer()
{
    FileServicer servicer;
    QSignalSpy failed(&servicer, &FileServicer::playFailed);
    PlayThread4 *thread = servicer.playThread();
    StreamDescriptor audio{{QStringLiteral("TYPE"), QStringLiteral("audio")},
                           {QStringLiteral("ENCODING"), QStringLiteral("PCMA")}};
    thread->addStream(audio);
    const bool ended = thread->wait(kWaitMs);
    int state = -1;
    thread->getState(nullptr, &state);
    thread->play();
    thread->move(100);
    const bool told = failed.wait(kWaitMs) || !failed.isEmpty();
    printf("ended=%d state=%d told=%s\n", ended ? 1 : 0, state,
           told ? qPrintable(failed.first().first().toString()) : "");
    return ended && state == PlayThread4::OutputFailed && told ? 0 : 1;
}

} // namespace

class tst_PlayThread4 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void addStream_data();
    void addStream();
    void setSampleRate_data();
    void setSampleRate();
    void setRange_data();
    void setRange();
    void commandsBeforeTheLoopDoNothing();
    void finishBeforeTheLoopEndsIt();
    void startsPausedAtZero();
    void playsTheMixAndSkipsSilence();
    void playWithPauseKeepsSilenceAndPausesAfterLastFrame();
    void playWithPauseRunsToTheRangeEnd();
    void sumsAreClipped();
    void tenMinuteGapIsSkippedInOnePass();
    void oddStreamsAreSilentBesideGoodOnes_data();
    void oddStreamsAreSilentBesideGoodOnes();
    void playFromOutsideTheRangeStartsAtItsBeginning();
    void stopReturnsToZero();
    void moveWhilePlayingKeepsPlaying();
    void speedKeepsThePitch_data();
    void speedKeepsThePitch();
    void muteAndSoloAreHeardWithinAPeriod();
    void noStreamsPausesAtOnce();
    void rateChangeWhilePlayingRebuildsTheOutput();
    void commandsDoNotWaitForAStalledOutput();
    void noSoundServerEndsInOutputFailed();
    // Last: it takes the sound server away.
    void lostSoundServerEndsInOutputFailed();

private:
    QList<StreamDescriptor> audioOf(const QList<StreamDescriptor> &streams) const;

    PulseServer m_pulse;
    TempDir m_dir;
    TestRecording m_mix;   // PCMA 0-1000, G.726 500-1500, TETRA 3500-4100 ms, text
    TestRecording m_loud;  // two PCMA channels whose sum exceeds 16 bits
    TestRecording m_long;  // PCMA tone from 0 to 8000 ms
    TestRecording m_far;   // PCMA 0-300 ms and 600000-600300 ms
    TestRecording m_duet;  // 400 Hz (stream 1) and 1000 Hz (stream 2) tones, 0-4000 ms
    QList<StreamDescriptor> m_mixStreams, m_loudStreams, m_longStreams, m_farStreams, m_duetStreams;
};

QList<StreamDescriptor> tst_PlayThread4::audioOf(const QList<StreamDescriptor> &streams) const
{
    QList<StreamDescriptor> audio;
    for (const StreamDescriptor &d : streams)
        if (d.value(QStringLiteral("TYPE")) == QLatin1String("audio"))
            audio.append(d);
    return audio;
}

void tst_PlayThread4::initTestCase()
{
    QString error;
    QVERIFY2(m_pulse.start(&error), qPrintable(error));
    m_pulse.exportEnvironment();

    m_mixStreams = writeMixedRecording(m_mix, 0, {QStringLiteral("Канал 1"), QStringLiteral("Канал 2"),
                                                  QStringLiteral("Канал 3")});

    m_loud.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Громко 1"));
    m_loud.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Громко 2"));
    const QByteArray loud = encodeALaw(QVector<qint16>(400, 20000) + QVector<qint16>(400, -20000));
    for (int k = 0; k < 5; ++k) {
        m_loud.frame(quint32(k * 100), 1, loud);
        m_loud.frame(quint32(k * 100), 2, loud);
    }
    m_loudStreams = m_loud.index();

    m_long.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Длинный"));
    const QVector<qint16> tone3 = toneSignal(400, 800, 7000);
    for (int k = 0; k < 80; ++k)
        m_long.frame(quint32(k * 100), 1, encodeALaw(tone3));
    m_longStreams = m_long.index();

    m_far.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Далеко"));
    for (quint32 start : {0u, 600000u})
        for (int k = 0; k < 3; ++k)
            m_far.frame(start + quint32(k * 100), 1, encodeALaw(tone3));
    m_farStreams = m_far.index();

    m_duet.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Низкий"));
    m_duet.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Высокий"));
    const QByteArray low = encodeALaw(toneSignal(kLowHz, 800, 6000));
    const QByteArray high = encodeALaw(toneSignal(kHighHz, 800, 6000));
    for (int k = 0; k < 40; ++k) {
        m_duet.frame(quint32(k * 100), 1, low);
        m_duet.frame(quint32(k * 100), 2, high);
    }
    m_duetStreams = m_duet.index();
}

void tst_PlayThread4::cleanupTestCase()
{
    m_pulse.stop();
}

void tst_PlayThread4::addStream_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<bool>("added");
    QTest::newRow("audio PCMA") << "audio" << "PCMA" << true;
    QTest::newRow("audio, unknown coding: added, silent") << "audio" << "AMR" << true;
    QTest::newRow("text") << "text" << "Windows-1251" << false;
    QTest::newRow("type is case-sensitive") << "Audio" << "PCMA" << false;
    QTest::newRow("no type") << QString() << "PCMA" << false;
}

void tst_PlayThread4::addStream()
{
    QFETCH(QString, type);
    QFETCH(QString, encoding);
    QFETCH(bool, added);
    StreamDescriptor d = m_longStreams.first();
    if (type.isNull())
        d.remove(QStringLiteral("TYPE"));
    else
        d.insert(QStringLiteral("TYPE"), type);
    d.insert(QStringLiteral("ENCODING"), encoding);
    PlayThread4 thread;
    QCOMPARE(thread.addStream(d), added);
    QCOMPARE(thread.streamCount(), added ? 1 : 0);
    thread.removeStreams();
    QCOMPARE(thread.streamCount(), 0);
}

void tst_PlayThread4::setSampleRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("after");
    QTest::newRow("same as the default") << 8000 << false << 8000;
    QTest::newRow("new rate") << 16000 << true << 16000;
    QTest::newRow("zero refused") << 0 << false << 8000;
    QTest::newRow("negative refused") << -8000 << false << 8000;
    QTest::newRow("above 192000 Hz refused") << 192001 << false << 8000;
    QTest::newRow("below 1000 Hz refused") << 999 << false << 8000;
}

void tst_PlayThread4::setSampleRate()
{
    QFETCH(int, rate);
    QFETCH(bool, changed);
    QFETCH(int, after);
    PlayThread4 thread;
    QCOMPARE(thread.setSampleRate(rate), changed);
    QCOMPARE(thread.sampleRate(), after);
    QVERIFY(!thread.setSampleRate(after));
}

void tst_PlayThread4::setRange_data()
{
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("storedBegin");
    QTest::addColumn<double>("storedDuration");
    QTest::newRow("forward") << 5000.0 << 2000.0 << 5000.0 << 2000.0;
    QTest::newRow("negative duration extends left") << 10000.0 << -3000.0 << 7000.0 << 3000.0;
    QTest::newRow("no range") << 100.0 << 0.0 << 100.0 << 0.0;
}

void tst_PlayThread4::setRange()
{
    QFETCH(double, begin);
    QFETCH(double, duration);
    PlayThread4 thread;
    thread.setRange(begin, duration);
    double b = -1, d = -1;
    thread.range(&b, &d);
    QTEST(b, "storedBegin");
    QTEST(d, "storedDuration");
}

void tst_PlayThread4::commandsBeforeTheLoopDoNothing()
{
    PlayThread4 thread;
    thread.addStream(m_longStreams.first());
    thread.play();
    thread.move(500);
    thread.stop();
    thread.pause();
    QCOMPARE(stateOf(thread), int(PlayThread4::Idle));
    QCOMPARE(positionOf(thread), 0.0);
}

void tst_PlayThread4::finishBeforeTheLoopEndsIt()
{
    // An owner destroyed right after creating the thread finishes it before
    // the loop has started; the loop must still end.
    PlayThread4 thread;
    thread.finish();
    thread.start();
    QVERIFY(thread.wait(kWaitMs));
    QCOMPARE(stateOf(thread), int(PlayThread4::Finishing));
}

void tst_PlayThread4::startsPausedAtZero()
{
    auto thread = startedThread(audioOf(m_mixStreams));
    QCOMPARE(stateOf(*thread), int(PlayThread4::Paused));
    QCOMPARE(positionOf(*thread), 0.0);
    thread->move(2500);
    QCOMPARE(positionOf(*thread), 2500.0);
    QCOMPARE(stateOf(*thread), int(PlayThread4::Paused));
    finishThread(thread.get());
}

void tst_PlayThread4::playsTheMixAndSkipsSilence()
{
    const QList<StreamDescriptor> audio = audioOf(m_mixStreams);
    const QVector<qint16> expected = exportedMix(audio, false, m_dir.filePath(QStringLiteral("mix.wav")));
    // 1500 ms of the first two channels and 600 ms of TETRA, each run
    // followed by the period that finds its end: 2300 ms.
    QCOMPARE(expected.size(), 23 * 800);

    auto thread = startedThread(m_mixStreams); // the text stream is not taken
    QCOMPARE(thread->streamCount(), 3);
    const qint64 before = m_pulse.recordedBytes();
    thread->play();
    Observed seen;
    QVERIFY(waitForState(*thread, PlayThread4::Paused, &seen));
    // Everything played is out of the output well within 1 s after the end.
    QVERIFY(m_pulse.waitForRecordedBytes(before + (2100 + 1000) * kBytesPerMs, kWaitMs));
    finishThread(thread.get());

    QCOMPARE(seen.names, (QSet<QString>{QStringLiteral("Канал 1"), QStringLiteral("Канал 2"), QStringLiteral("Канал 3")}));
    // The silence after the last frame is not waited for: the position stays there.
    QVERIFY2(positionOf(*thread) <= 4300, qPrintable(QString::number(positionOf(*thread))));

    const QVector<qint16> played = m_pulse.recordedSamples(before);
    const int start = SoundCheck::firstAbove(played, kSilenceThreshold);
    QVERIFY(start >= 0);
    // The 2000 ms pause between the channels is skipped.
    QVERIFY2(SoundCheck::longestQuietRun(played, kSilenceThreshold) < kSkippedQuietMax,
             qPrintable(QString::number(SoundCheck::longestQuietRun(played, kSilenceThreshold))));
    // Block by block, what came out is the export's mix (an underrun may
    // only delay later blocks).
    const int first = SoundCheck::firstAbove(expected, kSilenceThreshold);
    int lag = 0;
    for (int block = first; block + 800 <= expected.size(); block += 800) {
        if (SoundCheck::rms(expected, block, 800) < 100)
            continue; // the silent period after a run of frames
        int found = 0;
        const double c = SoundCheck::bestCorrelation(expected, block, played, start - first + block + lag + 400,
                                                     800, 400, &found);
        QVERIFY2(c > 0.99, qPrintable(QStringLiteral("block at %1: correlation %2").arg(block).arg(c)));
        lag += found + 400;
    }
    QVERIFY2(lag < 8000, "playback ran much slower than the material");
}

void tst_PlayThread4::playWithPauseKeepsSilenceAndPausesAfterLastFrame()
{
    auto thread = startedThread(audioOf(m_mixStreams), true);
    const qint64 before = m_pulse.recordedBytes();
    thread->play();
    QVERIFY(waitForState(*thread, PlayThread4::Paused));
    QVERIFY(m_pulse.waitForRecordedBytes(before + 5000 * kBytesPerMs, kWaitMs));
    // Paused after the last frame (4100 ms) instead of running on in silence.
    const double position = positionOf(*thread);
    QVERIFY2(position >= 4100 && position <= 4300, qPrintable(QString::number(position)));
    finishThread(thread.get());

    const QVector<qint16> played = m_pulse.recordedSamples(before);
    // The pause of 2000 ms runs through in time: 20 passes of at least
    // 80 ms each, less the 250 ms the output had buffered.
    const int quiet = SoundCheck::longestQuietRun(played, kSilenceThreshold);
    QVERIFY2(quiet > kSkippedQuietMax, qPrintable(QString::number(quiet)));
    const int start = SoundCheck::firstAbove(played, kSilenceThreshold);
    QVERIFY(SoundCheck::rms(played, start, 8000) > 2000);
}

// A range that ends after the last frame bounds the played silence: the
// thread plays on to the range's end and returns to its beginning.
void tst_PlayThread4::playWithPauseRunsToTheRangeEnd()
{
    auto thread = startedThread(audioOf(m_mixStreams), true);
    thread->setRange(3500, 1500);
    thread->play();
    QVERIFY(waitForState(*thread, PlayThread4::Paused));
    QCOMPARE(positionOf(*thread), 3500.0);
    finishThread(thread.get());
}

void tst_PlayThread4::sumsAreClipped()
{
    auto thread = startedThread(m_loudStreams);
    const qint64 before = m_pulse.recordedBytes();
    thread->play();
    Observed seen;
    QVERIFY(waitForState(*thread, PlayThread4::Paused, &seen));
    QVERIFY(m_pulse.waitForRecordedBytes(before + 1500 * kBytesPerMs, kWaitMs));
    finishThread(thread.get());

    QCOMPARE(seen.peak, short(32767));
    const QVector<qint16> played = m_pulse.recordedSamples(before);
    const int high = int(std::count(played.begin(), played.end(), qint16(32767)));
    const int low = int(std::count(played.begin(), played.end(), qint16(-32768)));
    // Five periods of 400 samples each way.
    QVERIFY2(high >= 5 * 400 && low >= 5 * 400, qPrintable(QStringLiteral("%1 %2").arg(high).arg(low)));
}

void tst_PlayThread4::tenMinuteGapIsSkippedInOnePass()
{
    auto thread = startedThread(m_farStreams);
    const qint64 before = m_pulse.recordedBytes();
    thread->play();
    QVERIFY(waitForState(*thread, PlayThread4::Paused));
    QVERIFY(m_pulse.waitForRecordedBytes(before + 1600 * kBytesPerMs, kWaitMs));
    const double position = positionOf(*thread);
    QVERIFY2(position >= 600300 && position <= 600400, qPrintable(QString::number(position)));
    finishThread(thread.get());
    const QVector<qint16> played = m_pulse.recordedSamples(before);
    QVERIFY(SoundCheck::longestQuietRun(played, kSilenceThreshold) < kSkippedQuietMax);
    const int first = SoundCheck::firstAbove(played, kSilenceThreshold);
    const int last = SoundCheck::lastAbove(played, kSilenceThreshold);
    // Both sounds of 300 ms came out.
    QVERIFY2(last - first >= 590 * 8, qPrintable(QString::number(last - first)));
}

void tst_PlayThread4::oddStreamsAreSilentBesideGoodOnes_data()
{
    QTest::addColumn<QString>("key");   // descriptor key changed
    QTest::addColumn<QString>("value"); // "@loud-index": the other recording's index; "@truncated": half the raw file
    QTest::addColumn<bool>("sounds");
    QTest::newRow("no decoder") << "ENCODING" << "AMR" << false;
    QTest::newRow("index file missing") << "INDEX_FILENAME" << m_dir.filePath(QStringLiteral("none.idx")) << false;
    QTest::newRow("foreign index") << "INDEX_FILENAME" << "@loud-index" << false;
    QTest::newRow("ID not a number") << "ID" << "x1" << false;
    QTest::newRow("truncated recording") << "FILENAME" << "@truncated" << true;
}

void tst_PlayThread4::oddStreamsAreSilentBesideGoodOnes()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, sounds);
    if (value == QLatin1String("@loud-index")) {
        value = m_loudStreams.first().value(QStringLiteral("INDEX_FILENAME"));
    } else if (value == QLatin1String("@truncated")) {
        QFile raw(m_farStreams.first().value(QStringLiteral("FILENAME")));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        value = m_dir.filePath(QStringLiteral("truncated.rec"));
        QFile cut(value);
        QVERIFY(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cut.write(raw.read(raw.size() / 2));
    }
    StreamDescriptor odd = m_farStreams.first();
    odd.insert(key, value);
    odd.insert(QStringLiteral("DESCRIPTION"), QStringLiteral("Странный"));

    auto thread = startedThread({odd, m_farStreams.first()});
    thread->play();
    Observed seen;
    QVERIFY(waitForState(*thread, PlayThread4::Paused, &seen));
    QVERIFY(seen.names.contains(QStringLiteral("Далеко")));
    QCOMPARE(seen.names.contains(QStringLiteral("Странный")), sounds);
    QVERIFY(positionOf(*thread) >= 600300);
    finishThread(thread.get());
}

void tst_PlayThread4::playFromOutsideTheRangeStartsAtItsBeginning()
{
    auto thread = startedThread(m_longStreams);
    thread->setRange(5000, 1000);
    thread->move(7500);
    thread->play();
    const double started = positionOf(*thread);
    QVERIFY2(started >= 5000 && started <= 5100, qPrintable(QString::number(started)));
    QVERIFY(waitForState(*thread, PlayThread4::Paused));
    QCOMPARE(positionOf(*thread), 5000.0);
    finishThread(thread.get());
}

void tst_PlayThread4::stopReturnsToZero()
{
    auto thread = startedThread(m_longStreams);
    thread->move(3000);
    thread->play();
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= 3200, kWaitMs);
    thread->stop();
    QCOMPARE(stateOf(*thread), int(PlayThread4::Paused));
    QCOMPARE(positionOf(*thread), 0.0);
    thread->stop(); // also from Paused
    QCOMPARE(positionOf(*thread), 0.0);
    finishThread(thread.get());
}

void tst_PlayThread4::speedKeepsThePitch_data()
{
    QTest::addColumn<double>("speed");
    QTest::newRow("2x") << 2.0;
    QTest::newRow("0.5x") << 0.5;
}

// The 1000 Hz channel alone, 4 s of it, played faster or slower: it lasts
// 4 s / speed and stays at 1000 Hz.
void tst_PlayThread4::speedKeepsThePitch()
{
    QFETCH(double, speed);
    auto thread = startedThread({m_duetStreams.at(1)});
    thread->setSpeed(speed);
    QCOMPARE(thread->speed(), speed);
    const qint64 before = m_pulse.recordedBytes();
    thread->play();
    QVERIFY(waitForState(*thread, PlayThread4::Paused));
    const int expectedMs = int(4000 / speed);
    QVERIFY(m_pulse.waitForRecordedBytes(before + (expectedMs + 1000) * kBytesPerMs, kWaitMs));
    finishThread(thread.get());

    const QVector<qint16> played = m_pulse.recordedSamples(before);
    const int first = SoundCheck::firstAbove(played, 1000);
    const int last = SoundCheck::lastAbove(played, 1000);
    QVERIFY(first >= 0);
    const double lastedMs = (last - first) * 1000.0 / PulseServer::kRate;
    QVERIFY2(qAbs(lastedMs - expectedMs) <= expectedMs * 0.02,
             qPrintable(QStringLiteral("lasted %1 ms, expected %2").arg(lastedMs).arg(expectedMs)));
    const int middle = (first + last) / 2;
    const double hz = SoundCheck::zeroCrossingHz(played, middle - PulseServer::kRate / 4, PulseServer::kRate / 2,
                                                 PulseServer::kRate);
    QVERIFY2(qAbs(hz - kHighHz) <= kHighHz * 0.01, qPrintable(QStringLiteral("%1 Hz").arg(hz)));
    // An unknown speed is refused.
    thread->setSpeed(1.1);
    QCOMPARE(thread->speed(), speed);
}

// Muting the high channel while playing silences it within 300 ms of the
// command, the output's buffer included; soloing it silences the low one.
void tst_PlayThread4::muteAndSoloAreHeardWithinAPeriod()
{
    auto thread = startedThread(m_duetStreams);
    thread->play();
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= 800, kWaitMs);
    const qint64 muteAt = m_pulse.recordedBytes();
    thread->setGains({{QStringLiteral("2"), 0.0}});
    QTest::qWait(1000);
    const qint64 soloAt = m_pulse.recordedBytes();
    thread->setGains({{QStringLiteral("1"), 0.0}});
    QTest::qWait(1000);
    const QVector<qint16> played = m_pulse.recordedSamples(muteAt - 400 * kBytesPerMs);
    finishThread(thread.get());

    const int window = PulseServer::kRate / 20; // 50 ms
    const int lateSample = 300 * PulseServer::kRate / 1000;
    const int muteSample = 400 * PulseServer::kRate / 1000;
    const int soloSample = muteSample + int(soloAt - muteAt) / 2;
    auto level = [&](int at, double hz) { return SoundCheck::toneLevel(played, at, window, hz, PulseServer::kRate); };
    // Before the command both tones sound; 300 ms after it the muted one is gone.
    QVERIFY(level(muteSample - 2 * window, kHighHz) > 1000);
    QVERIFY(level(muteSample - 2 * window, kLowHz) > 1000);
    QVERIFY2(level(muteSample + lateSample, kHighHz) < 100, qPrintable(QString::number(level(muteSample + lateSample, kHighHz))));
    QVERIFY(level(muteSample + lateSample, kLowHz) > 1000);
    QVERIFY(level(soloSample + lateSample, kLowHz) < 100);
    QVERIFY(level(soloSample + lateSample, kHighHz) > 1000);
}

void tst_PlayThread4::moveWhilePlayingKeepsPlaying()
{
    auto thread = startedThread(m_longStreams);
    thread->play();
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= 200, kWaitMs);
    thread->move(6000);
    QCOMPARE(stateOf(*thread), int(PlayThread4::Playing));
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= 6300, kWaitMs);
    QCOMPARE(stateOf(*thread), int(PlayThread4::Playing));
    // Playing on to the end of the material pauses there.
    QVERIFY(waitForState(*thread, PlayThread4::Paused));
    QVERIFY(positionOf(*thread) >= 8000);
    finishThread(thread.get());
}

void tst_PlayThread4::noStreamsPausesAtOnce()
{
    for (bool withPause : {false, true}) {
        auto thread = startedThread({}, withPause);
        thread->move(1000);
        thread->play();
        QVERIFY(waitForState(*thread, PlayThread4::Paused));
        QCOMPARE(positionOf(*thread), 1000.0);
        finishThread(thread.get());
    }
}

void tst_PlayThread4::rateChangeWhilePlayingRebuildsTheOutput()
{
    auto thread = startedThread(m_longStreams);
    thread->play();
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= 300, kWaitMs);
    QVERIFY(thread->setSampleRate(16000));
    const double atChange = positionOf(*thread);
    const qint64 before = m_pulse.recordedBytes();
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= atChange + 500, kWaitMs);
    QCOMPARE(stateOf(*thread), int(PlayThread4::Playing));
    QVERIFY(m_pulse.waitForRecordedBytes(before + 500 * kBytesPerMs, kWaitMs));
    // The server resamples the new stream to the sink's rate: still sound.
    const QVector<qint16> played = m_pulse.recordedSamples(before);
    QVERIFY(SoundCheck::rms(played, 0, played.size()) > 500);
    finishThread(thread.get());
}

void tst_PlayThread4::commandsDoNotWaitForAStalledOutput()
{
    auto thread = startedThread(m_longStreams);
    QVERIFY(m_pulse.suspendSink(true));
    thread->play();
    // The output fills up and takes nothing more: the position stops
    // within the output's buffer.
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= 100, kWaitMs);
    QTest::qWait(800);
    const double stalled = positionOf(*thread);
    QVERIFY2(stalled < 1000, qPrintable(QString::number(stalled)));

    // Commands from another thread return while the loop waits for room.
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> commander(QThread::create([&] {
        thread->pause();
        thread->move(4000);
        done = true;
    }));
    commander->start();
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
    const bool returned = done.load();
    QVERIFY(m_pulse.suspendSink(false));
    commander->wait();
    QVERIFY(returned);
    QCOMPARE(stateOf(*thread), int(PlayThread4::Paused));
    QCOMPARE(positionOf(*thread), 4000.0);
    finishThread(thread.get());
}

void tst_PlayThread4::noSoundServerEndsInOutputFailed()
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVariable, QStringLiteral("1"));
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("no-server")));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(kWaitMs * 2));
    const QByteArray output = child.readAll();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 0, output.constData());
    QVERIFY2(output.contains("ended=1 state=1 told=no sound output device"), output.constData());
}

void tst_PlayThread4::lostSoundServerEndsInOutputFailed()
{
    auto thread = startedThread(m_longStreams);
    thread->play();
    QTRY_VERIFY_WITH_TIMEOUT(positionOf(*thread) >= 300, kWaitMs);
    m_pulse.stop();
    QVERIFY(waitForState(*thread, PlayThread4::OutputFailed));
    QVERIFY(thread->wait(kWaitMs));
    QCOMPARE(thread->failure(), QStringLiteral("the sound output stopped working"));
    thread->play();
    QCOMPARE(stateOf(*thread), int(PlayThread4::OutputFailed));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("VELMORA_PLAYTHREAD_CHILD"))
        return runWithoutSoundServer();
    tst_PlayThread4 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_playthread4.moc"
