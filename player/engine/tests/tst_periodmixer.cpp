#include "player/engine/audiostreaminpartshandle2.h"
#include "player/engine/periodmixer.h"
#include "testsupport/testrecording.h"

#include <QtTest>

#include <memory>
#include <vector>

using namespace TestRecordingData;

class tst_PeriodMixer : public QObject
{
    Q_OBJECT

private slots:
    void clip_data();
    void clip();
    void mixesAndClipsChannels_data();
    void mixesAndClipsChannels();
    void shortOutputCountsAsSilence();
    void readerGroupHelpers();
};

void tst_PeriodMixer::clip_data()
{
    QTest::addColumn<int>("sum");
    QTest::addColumn<int>("clipped");
    QTest::newRow("40000") << 40000 << 32767;
    QTest::newRow("-40000") << -40000 << -32768;
    QTest::newRow("32767") << 32767 << 32767;
    QTest::newRow("-32768") << -32768 << -32768;
    QTest::newRow("-5") << -5 << -5;
}

void tst_PeriodMixer::clip()
{
    QFETCH(int, sum);
    QFETCH(int, clipped);
    QCOMPARE(int(PeriodMixer::clip(sum)), clipped);
}

void tst_PeriodMixer::mixesAndClipsChannels_data()
{
    QTest::addColumn<quint8>("codeA");
    QTest::addColumn<quint8>("codeB");
    QTest::addColumn<ChannelGains>("gains");
    QTest::addColumn<int>("sample");
    QTest::addColumn<int>("peak");
    QTest::addColumn<QStringList>("sounding");
    const QStringList both{QStringLiteral("А"), QStringLiteral("Б")};
    // A-law: 0xAA +32256, 0xA0 +22016, 0x80 +5504, 0x00 -5504, 0xD5 +8.
    QTest::newRow("positive clip") << quint8(0xAA) << quint8(0xA0) << ChannelGains() << 32767 << 32767 << both;
    QTest::newRow("negative clip, peak 32767") << quint8(0x2A) << quint8(0x20) << ChannelGains() << -32768 << 32767 << both;
    QTest::newRow("plain sum") << quint8(0x80) << quint8(0x00) << ChannelGains() << 0 << 0 << both;
    QTest::newRow("one channel") << quint8(0x80) << quint8(0xD5) << ChannelGains() << 5512 << 5512 << both;
    // Gains scale a channel before the sum; the factor 0 leaves it out
    // and it no longer counts as sounding.
    QTest::newRow("first halved") << quint8(0x80) << quint8(0xD5) << ChannelGains{{QStringLiteral("1"), 0.5}}
                                  << 2760 << 2760 << both;
    QTest::newRow("-6 dB rounds") << quint8(0x80) << quint8(0xD5) << ChannelGains{{QStringLiteral("1"), ReaderGroup::gainFactor(-6)}}
                                  << 2767 << 2767 << both;
    QTest::newRow("first muted") << quint8(0xAA) << quint8(0xA0) << ChannelGains{{QStringLiteral("1"), 0.0}}
                                 << 22016 << 22016 << QStringList{QStringLiteral("Б")};
    QTest::newRow("+12 dB clips") << quint8(0x80) << quint8(0xA0) << ChannelGains{{QStringLiteral("2"), ReaderGroup::gainFactor(12)}}
                                  << 32767 << 32767 << both;
    QTest::newRow("unknown id ignored") << quint8(0x80) << quint8(0xD5) << ChannelGains{{QStringLiteral("9"), 0.0}}
                                        << 5512 << 5512 << both;
}

// Frames at the same time on two channels are summed sample by sample.
void tst_PeriodMixer::mixesAndClipsChannels()
{
    QFETCH(quint8, codeA);
    QFETCH(quint8, codeB);
    QFETCH(ChannelGains, gains);
    QFETCH(int, sample);
    QFETCH(int, peak);
    QFETCH(QStringList, sounding);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("А"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Б"));
    recording.frame(0, 1, alaw(800, codeA));
    recording.frame(0, 2, alaw(800, codeB));
    const auto streams = recording.index();
    PeriodReaders readers;
    for (const StreamDescriptor &d : streams)
        readers.push_back(ReaderGroup::createPeriodReader(d, 100, 8000));
    ReaderGroup::reposition(readers, 0);
    PeriodMixer mixer;
    mixer.setSamplesPerPeriod(800);
    mixer.setGains(gains);
    QStringList names;
    QCOMPARE(mixer.mix(readers, &names), sounding.size());
    QCOMPARE(names, sounding);
    QCOMPARE(int(mixer.samples()[0]), sample);
    QCOMPARE(int(mixer.samples()[799]), sample);
    QCOMPARE(int(mixer.peak()), peak);
    QCOMPARE(mixer.byteCount(), 1600);
}

void tst_PeriodMixer::shortOutputCountsAsSilence()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.frame(0, 1, alaw(800));
    PeriodReaders readers;
    readers.push_back(ReaderGroup::createPeriodReader(recording.index().first(), 100, 8000));
    ReaderGroup::reposition(readers, 0);
    PeriodMixer mixer;
    mixer.setSamplesPerPeriod(1000); // more than the reader delivers
    QCOMPARE(mixer.mix(readers), 1);
    QCOMPARE(mixer.samples()[799], kAlawPositiveSample);
    QCOMPARE(mixer.samples()[999], qint16(0));
}

void tst_PeriodMixer::readerGroupHelpers()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("G726-32"), QStringLiteral("b"));
    recording.addStream(3, QStringLiteral("text"), QString(), QStringLiteral("c"));
    recording.frame(500, 1, alaw(800));
    recording.frame(300, 2, g726Tone(800));
    const auto streams = recording.index();
    QVERIFY(!ReaderGroup::createPeriodReader(streams.at(2), 100, 8000));
    PeriodReaders readers;
    readers.push_back(ReaderGroup::createPeriodReader(streams.at(0), 100, 16000));
    readers.push_back(ReaderGroup::createPeriodReader(streams.at(1), 100, 8000));
    const AudioStreamInPartsHandle2 *a = readers.at(0).get();
    const AudioStreamInPartsHandle2 *b = readers.at(1).get();
    QCOMPARE(a->samplesPerPeriod(), 1600);
    QCOMPARE(b->state(), int(StreamHandle::Open));
    ReaderGroup::reposition(readers, 0);
    QCOMPARE(ReaderGroup::earliestTime(readers), 300.0);
    ReaderGroup::reposition(readers, 450); // past b's only frame
    QCOMPARE(b->state(), int(StreamHandle::AtEnd));
    QCOMPARE(ReaderGroup::earliestTime(readers), 500.0);
    QCOMPARE(ReaderGroup::earliestTime(PeriodReaders()), IndexFormat::kNoTime);
    QCOMPARE(ReaderGroup::samplesPerPeriod(11025, 100), 1102);
}

QTEST_GUILESS_MAIN(tst_PeriodMixer)
#include "tst_periodmixer.moc"
