#include "codecs/audiocodec.h"
#include "player/engine/framestreamhandles.h"
#include "testsupport/testrecording.h"

#include <QtTest>

using namespace TestRecordingData;

class tst_AudioStreamHandle : public QObject
{
    Q_OBJECT

private slots:
    void decodesWholeFrame_data();
    void decodesWholeFrame();
    void tetraMatchesDirectDecoding();
    void readDataOutsideRecordLeavesOutput();
    void openNeedsDecoder();
};

void tst_AudioStreamHandle::decodesWholeFrame_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("outputBytes");
    QTest::addColumn<double>("duration");
    QTest::newRow("PCMA, 1000 bytes") << "PCMA" << alaw(1000) << 2000 << 125.0;
    QTest::newRow("PCMA/16000") << "PCMA/16000" << alaw(1600) << 3200 << 100.0;
    QTest::newRow("G726-32, odd byte count") << "G726-32" << g726Tone(802) << 1604 << 100.25;
    const QByteArray tetra = tetraFrames(5);
    QTest::newRow("TETRA, 5 frames") << "TETRA" << tetra << 5 * 480 << 150.0;
    QTest::newRow("TETRA, trailing partial frame") << "TETRA" << tetra.left(4 * 18 + 7) << 4 * 480 << (4 * 18 + 7) / 18.0 * 30;
    QTest::newRow("empty frame") << "PCMA" << QByteArray() << 0 << 0.0;
}

void tst_AudioStreamHandle::decodesWholeFrame()
{
    QFETCH(QString, encoding);
    QFETCH(QByteArray, payload);
    QFETCH(int, outputBytes);
    QFETCH(double, duration);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), encoding, QStringLiteral("a"));
    recording.frame(5, 1, payload);
    AudioStreamHandle reader(recording.index().first());
    QCOMPARE(reader.open(), 0);
    QCOMPARE(reader.currentDuration(), 0.0);
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.currentTime(), 5.0);
    QCOMPARE(reader.currentDuration(), duration);
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(reader.state(), int(StreamHandle::Open));
    QCOMPARE(reader.payload(), payload);
    QCOMPARE(reader.output().size(), outputBytes);
}

// Decoding a frame in 18-byte steps gives the same samples as decoding it
// in one call.
void tst_AudioStreamHandle::tetraMatchesDirectDecoding()
{
    const QByteArray frames = tetraFrames(20);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("TETRA"), QStringLiteral("a"));
    recording.frame(0, 1, frames);
    AudioStreamHandle reader(recording.index().first());
    reader.open();
    reader.next();
    QCOMPARE(reader.readData(), 0);

    const std::unique_ptr<AudioCodec> codec = createAudioCodec(QStringLiteral("TETRA"), 8000);
    QByteArray direct(20 * 480, '\0');
    int written = 0;
    QCOMPARE(codec->decode(frames.constData(), frames.size(), reinterpret_cast<qint16 *>(direct.data()),
                           unsigned(direct.size()), &written), 0);
    QCOMPARE(reader.output(), direct.left(written));
}

void tst_AudioStreamHandle::readDataOutsideRecordLeavesOutput()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(10));
    AudioStreamHandle reader(recording.index().first());
    QCOMPARE(reader.readData(), 0);
    reader.open();
    reader.next();
    reader.readData();
    const QByteArray first = reader.output();
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(reader.output(), first);
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.state(), int(StreamHandle::AtEnd));
}

void tst_AudioStreamHandle::openNeedsDecoder()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("MP3"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(10));
    AudioStreamHandle reader(recording.index().first());
    QVERIFY(!reader.codec());
    QCOMPARE(reader.open(), 1);
    QCOMPARE(reader.state(), int(StreamHandle::Closed));
    QCOMPARE(reader.currentDuration(), 0.0);
}

QTEST_GUILESS_MAIN(tst_AudioStreamHandle)
#include "tst_audiostreamhandle.moc"
