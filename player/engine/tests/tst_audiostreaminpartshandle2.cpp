#include "player/engine/audiostreaminpartshandle2.h"
#include "testsupport/testrecording.h"

#include <QtTest>

#include <memory>

using namespace TestRecordingData;

namespace {

constexpr unsigned kPeriodMs = 100;
constexpr int kRate = 8000;
constexpr int kSamples = 800; // per 100 ms period at 8000 Hz
const QString kAudio = QStringLiteral("audio");

std::unique_ptr<AudioStreamInPartsHandle2> periodReader(const StreamDescriptor &descriptor, int outputRate = kRate)
{
    auto reader = std::make_unique<AudioStreamInPartsHandle2>(descriptor);
    reader->setPeriod(kPeriodMs);
    reader->setOutputRate(outputRate);
    reader->open();
    return reader;
}

// seek(t), then next() when t lay past the record in force (as the owners do).
void positionAt(AudioStreamInPartsHandle2 *reader, double t)
{
    reader->seek(t);
    if (reader->state() == StreamHandle::Open)
        reader->next();
}

} // namespace

class tst_AudioStreamInPartsHandle2 : public QObject
{
    Q_OBJECT

private slots:
    void setPeriodSizesBuffers_data();
    void setPeriodSizesBuffers();
    void fullChunksDecodeAtOddRates_data();
    void fullChunksDecodeAtOddRates();
    void periodsOfTwoFramesOneSecondApart();
    void frameInsideWindowStartsAfterSilence();
    void seekPastFramePayloadLeavesFrame_data();
    void seekPastFramePayloadLeavesFrame();
    void seekIntoFrameKeepsSamplesFromWindowStart_data();
    void seekIntoFrameKeepsSamplesFromWindowStart();
    void endOfStreamGivesSilence();
    void unusableReadersGiveSilence_data();
    void unusableReadersGiveSilence();
    void foreignIndexGivesSilence();
    void truncatedRecordingGivesSilence();
    void otherStreamsFramesAreSkipped();
    void framesOutOfTimeOrder_data();
    void framesOutOfTimeOrder();
};

void tst_AudioStreamInPartsHandle2::setPeriodSizesBuffers_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("chunkMax");
    QTest::addColumn<int>("decodedCapacity");
    QTest::newRow("PCMA/8000") << "PCMA/8000" << 800 << 1600;
    QTest::newRow("G726-32") << "G726-32" << 400 << 1600;
    QTest::newRow("TETRA: four whole frames") << "TETRA" << 72 << 1920;
    // At these rates the exact size is a hair below a whole number of samples.
    QTest::newRow("G726-32/1022 rounded up") << "G726-32/1022" << 51 << 204;
    QTest::newRow("PCMA/1098 rounded up") << "PCMA/1098" << 109 << 218;
}

void tst_AudioStreamInPartsHandle2::setPeriodSizesBuffers()
{
    QFETCH(QString, encoding);
    QFETCH(int, chunkMax);
    QFETCH(int, decodedCapacity);
    TestRecording recording;
    recording.addStream(1, kAudio, encoding, QStringLiteral("a"));
    const auto streams = recording.index();
    AudioStreamInPartsHandle2 reader(streams.first());
    reader.setPeriod(kPeriodMs);
    QCOMPARE(reader.chunkMax(), chunkMax);
    QCOMPARE(reader.decodedCapacity(), decodedCapacity);
}

void tst_AudioStreamInPartsHandle2::fullChunksDecodeAtOddRates_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("G726-32/1022") << "G726-32/1022" << 1022 << g726Tone(1022);
    QTest::newRow("PCMA/1098") << "PCMA/1098" << 1098 << alaw(1098);
}

// A frame of one second read in periods: every sample of the first periods
// is decoded audio (a buffer one sample short would fail every full chunk).
void tst_AudioStreamInPartsHandle2::fullChunksDecodeAtOddRates()
{
    QFETCH(QString, encoding);
    QFETCH(int, rate);
    QFETCH(QByteArray, payload);
    TestRecording recording;
    recording.addStream(1, kAudio, encoding, QStringLiteral("a"));
    recording.frame(0, 1, payload);
    const auto reader = periodReader(recording.index().first(), rate);
    positionAt(reader.get(), 0);
    const int samples = reader->samplesPerPeriod();
    for (int period = 0; period < 5; ++period) {
        QCOMPARE(reader->readData(), 1);
        QCOMPARE(reader->output().size(), 2 * samples);
        QVERIFY2(nonZeroSamples(reader->output().left(2 * samples)) > samples * 9 / 10,
                 qPrintable(QStringLiteral("period %1").arg(period)));
    }
}

// Frames of 100 ms at 0 and 1000 ms: period 1 holds the first frame, period
// 2 is silent but reports the frame's end, periods 3-10 are silence (the
// window is half-open, so the frame at 1000 ms is not in period 10), period
// 11 holds the second frame.
void tst_AudioStreamInPartsHandle2::periodsOfTwoFramesOneSecondApart()
{
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA/8000"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(800));
    recording.frame(1000, 1, alaw(800));
    const auto reader = periodReader(recording.index().first());
    QCOMPARE(reader->chunkMax(), 800);
    QCOMPARE(reader->samplesPerPeriod(), kSamples);
    positionAt(reader.get(), 0);

    const QList<int> expectedSound = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const QList<int> expectedNonZero = {800, 0, 0, 0, 0, 0, 0, 0, 0, 0, 800};
    for (int period = 0; period < expectedSound.size(); ++period) {
        const QByteArray name = QByteArray("period ") + QByteArray::number(period + 1);
        QCOMPARE(reader->readData(), expectedSound.at(period));
        QVERIFY2(reader->output().size() >= 2 * kSamples, name.constData());
        QVERIFY2(nonZeroSamples(reader->output().left(2 * kSamples)) == expectedNonZero.at(period), name.constData());
        QCOMPARE(reader->windowStart(), 100.0 * period);
    }
    QCOMPARE(sampleAt(reader->output(), 0), kAlawPositiveSample);
}

void tst_AudioStreamInPartsHandle2::frameInsideWindowStartsAfterSilence()
{
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(40, 1, alaw(800));
    const auto reader = periodReader(recording.index().first());
    positionAt(reader.get(), 0);
    QCOMPARE(reader->readData(), 1);
    const QByteArray period = reader->output().left(2 * kSamples);
    QCOMPARE(nonZeroSamples(period.left(2 * 320)), 0);
    QCOMPARE(nonZeroSamples(period.mid(2 * 320)), kSamples - 320);
    QCOMPARE(reader->readData(), 1); // the rest of the frame
    QCOMPARE(nonZeroSamples(reader->output().left(2 * 320)), 320);
}

void tst_AudioStreamInPartsHandle2::seekPastFramePayloadLeavesFrame_data()
{
    QTest::addColumn<double>("t");
    QTest::newRow("right at the frame's end") << 100.0;
    QTest::newRow("half a sample past the last one") << 100.5;
    QTest::newRow("within the header's length") << 100.74;
}

// A seek just past a frame's last sample moves on to the next frame of the
// stream and never reads the following frame's header bytes as audio.
void tst_AudioStreamInPartsHandle2::seekPastFramePayloadLeavesFrame()
{
    QFETCH(double, t);
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.addStream(2, kAudio, QStringLiteral("PCMA"), QStringLiteral("b"));
    recording.frame(0, 1, alaw(800));
    recording.frame(100, 2, alaw(800, 0x2A));
    recording.frame(1000, 1, alaw(800));
    const auto reader = periodReader(recording.index().first());
    QCOMPARE(reader->seek(t), 0);
    QCOMPARE(reader->state(), int(StreamHandle::Open));
    reader->next();
    QCOMPARE(reader->currentTime(), 1000.0);
    QCOMPARE(reader->readData(), 0);
    QCOMPARE(nonZeroSamples(reader->output().left(2 * kSamples)), 0);
}

void tst_AudioStreamInPartsHandle2::seekIntoFrameKeepsSamplesFromWindowStart_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<double>("t");
    QTest::addColumn<int>("minimumNonZero");
    QTest::newRow("PCMA, between two samples") << "PCMA" << 250.06 << kSamples;
    QTest::newRow("PCMA, on a sample") << "PCMA" << 250.0 << kSamples;
    QTest::newRow("TETRA, inside a coded frame") << "TETRA" << 40.0 << kSamples / 2;
    QTest::newRow("TETRA, on a frame boundary") << "TETRA" << 60.0 << kSamples / 2;
}

// After a seek into the middle of a frame the first period is sound from
// the window start on: nothing of the frame is thrown away.
void tst_AudioStreamInPartsHandle2::seekIntoFrameKeepsSamplesFromWindowStart()
{
    QFETCH(QString, encoding);
    QFETCH(double, t);
    QFETCH(int, minimumNonZero);
    TestRecording recording;
    recording.addStream(1, kAudio, encoding, QStringLiteral("a"));
    if (encoding == QLatin1String("TETRA")) {
        const QByteArray frames = tetraFrames(40); // 1200 ms
        QCOMPARE(frames.size(), 40 * kTetraFrameBytes);
        recording.frame(0, 1, frames);
    } else {
        recording.frame(0, 1, alaw(8000));
    }
    const auto reader = periodReader(recording.index().first());
    positionAt(reader.get(), t);
    QCOMPARE(reader->state(), int(StreamHandle::OnRecord));
    QVERIFY(reader->currentTime() <= t);
    QCOMPARE(reader->readData(), 1);
    QCOMPARE(reader->windowStart(), t);
    QVERIFY2(nonZeroSamples(reader->output().left(2 * kSamples)) >= minimumNonZero,
             qPrintable(QString::number(nonZeroSamples(reader->output().left(2 * kSamples)))));
    // The next periods go on without a gap.
    QCOMPARE(reader->readData(), 1);
    QVERIFY(nonZeroSamples(reader->output().left(2 * kSamples)) >= minimumNonZero);
}

void tst_AudioStreamInPartsHandle2::endOfStreamGivesSilence()
{
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(400));
    const auto reader = periodReader(recording.index().first());
    positionAt(reader.get(), 0);
    QCOMPARE(reader->readData(), 1);
    QCOMPARE(nonZeroSamples(reader->output().left(2 * kSamples)), 400);
    QCOMPARE(reader->state(), int(StreamHandle::AtEnd));
    QCOMPARE(reader->currentTime(), IndexFormat::kNoTime);
    QCOMPARE(reader->readData(), 0);
    QCOMPARE(reader->output().size(), 2 * kSamples);
    QCOMPARE(nonZeroSamples(reader->output()), 0);
    QCOMPARE(reader->next(), 0);
    QCOMPARE(reader->state(), int(StreamHandle::AtEnd));
}

void tst_AudioStreamInPartsHandle2::unusableReadersGiveSilence_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("unknown coding") << "ENCODING" << "GSM";
    QTest::newRow("lower-case coding name") << "ENCODING" << "pcma";
    QTest::newRow("ID not a number") << "ID" << "one";
    QTest::newRow("no raw file") << "FILENAME" << "";
    QTest::newRow("index file missing") << "INDEX_FILENAME" << "/nonexistent/index";
}

void tst_AudioStreamInPartsHandle2::unusableReadersGiveSilence()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(800));
    StreamDescriptor descriptor = recording.index().first();
    descriptor.insert(key, value);
    const auto reader = periodReader(descriptor);
    QCOMPARE(reader->state(), int(StreamHandle::Closed));
    QCOMPARE(reader->open(), 1);
    positionAt(reader.get(), 0);
    QCOMPARE(reader->readData(), 0);
    QCOMPARE(reader->output(), QByteArray(2 * kSamples, '\0'));
    QCOMPARE(reader->currentTime(), IndexFormat::kNoTime);
}

// An index made for another recording: every record fails validation.
void tst_AudioStreamInPartsHandle2::foreignIndexGivesSilence()
{
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(800));
    recording.frame(500, 1, alaw(800));
    TestRecording other;
    other.writer().writeSection(QStringLiteral("DEVICE"), {{QStringLiteral("NAME"), QStringLiteral("another recorder")}});
    other.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    other.text(0, 1, QStringLiteral("x"));
    other.frame(3, 1, alaw(5000));
    other.frame(900, 1, alaw(77));
    StreamDescriptor descriptor = recording.index().first();
    descriptor.insert(QStringLiteral("INDEX_FILENAME"), other.index().first().value(QStringLiteral("INDEX_FILENAME")));
    const auto reader = periodReader(descriptor);
    QCOMPARE(reader->seek(0), 1);
    for (int period = 0; period < 12; ++period) {
        if (reader->state() == StreamHandle::Open)
            reader->next();
        reader->readData();
        QCOMPARE(reader->output().size(), 2 * kSamples);
        QCOMPARE(nonZeroSamples(reader->output()), 0);
    }
}

void tst_AudioStreamInPartsHandle2::truncatedRecordingGivesSilence()
{
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(800));
    recording.frame(100, 1, alaw(800));
    recording.frame(200, 1, alaw(800));
    const auto streams = recording.index();
    QFile raw(recording.path());
    QVERIFY(raw.resize(raw.size() - 1200)); // the last frame and half the second
    const auto reader = periodReader(streams.first());
    positionAt(reader.get(), 0);
    QCOMPARE(reader->readData(), 1);
    QCOMPARE(nonZeroSamples(reader->output().left(2 * kSamples)), 800);
    QCOMPARE(reader->readData(), 1);
    QVERIFY(nonZeroSamples(reader->output().left(2 * kSamples)) < 800);
    for (int period = 0; period < 5; ++period) {
        reader->readData();
        QCOMPARE(nonZeroSamples(reader->output().left(2 * kSamples)), 0);
    }
}

// Frames of several streams at the same time: each reader keeps to its own.
void tst_AudioStreamInPartsHandle2::otherStreamsFramesAreSkipped()
{
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.addStream(2, kAudio, QStringLiteral("G726-32"), QStringLiteral("b"));
    recording.addStream(3, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("c"));
    for (quint32 t = 0; t < 500; t += 100) {
        recording.frame(t, 1, alaw(800, 0x80));
        recording.frame(t, 2, g726Tone(800));
        recording.text(t, 3, QStringLiteral("событие"));
    }
    const auto streams = recording.index();
    const auto alawReader = periodReader(streams.at(0));
    const auto g726Reader = periodReader(streams.at(1));
    positionAt(alawReader.get(), 0);
    positionAt(g726Reader.get(), 0);
    for (int period = 0; period < 5; ++period) {
        QCOMPARE(alawReader->readData(), 1);
        QCOMPARE(g726Reader->readData(), 1);
        for (int i = 0; i < kSamples; ++i)
            QCOMPARE(sampleAt(alawReader->output(), i), kAlawPositiveSample);
        QVERIFY(nonZeroSamples(g726Reader->output().left(2 * kSamples)) > kSamples / 2);
    }
    QCOMPARE(alawReader->readData(), 1); // detects the end of the last frame
    QCOMPARE(alawReader->readData(), 0);
}

// A damaged recording may hold frames out of time order: a frame days
// before the window must give silence, not an overflowing sample count.
void tst_AudioStreamInPartsHandle2::framesOutOfTimeOrder_data()
{
    QTest::addColumn<quint32>("later");
    QTest::newRow("two days") << quint32(150000000);
    QTest::newRow("near the end of time") << quint32(4294000000u);
}

void tst_AudioStreamInPartsHandle2::framesOutOfTimeOrder()
{
    QFETCH(quint32, later);
    TestRecording recording;
    recording.addStream(1, kAudio, QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(later, 1, alaw(800));
    recording.frame(later + 100, 1, alaw(800));
    recording.frame(0, 1, alaw(800));
    const auto streams = recording.index();
    const auto reader = periodReader(streams.first());
    positionAt(reader.get(), later);
    for (int period = 0; period < 6; ++period) {
        reader->readData();
        QCOMPARE(reader->output().size(), 2 * kSamples);
    }
}

QTEST_GUILESS_MAIN(tst_AudioStreamInPartsHandle2)
#include "tst_audiostreaminpartshandle2.moc"
