#include "player/engine/intervalstreamhandles.h"
#include "testsupport/testrecording.h"

#include <QtTest>

#include <memory>

using namespace TestRecordingData;

namespace {

using Interval = QPair<double, double>; // begin, duration (ms)

QList<Interval> allIntervals(IntervalStreamHandle *reader)
{
    QList<Interval> intervals;
    while (reader->next() == 1)
        intervals.append({reader->currentTime(), reader->currentDuration()});
    return intervals;
}

std::unique_ptr<IntervalStreamHandle> makeReader(const StreamDescriptor &descriptor, double maxGap)
{
    std::unique_ptr<IntervalStreamHandle> reader;
    if (descriptor.value(QStringLiteral("TYPE")) == QLatin1String("audio"))
        reader.reset(new AudioIntervalHandle(descriptor));
    else
        reader.reset(new TextIntervalHandle(descriptor));
    reader->setMaxGap(maxGap);
    return reader;
}

} // namespace

Q_DECLARE_METATYPE(QList<Interval>)

class tst_IntervalStreamHandle : public QObject
{
    Q_OBJECT

private slots:
    void intervals_data();
    void intervals();
    void emptyStreamEndsAtOnce();
    void seekStartsAtRecordInForce();
    void foreignIndexGivesNothing();
    void audioNeedsDecoder();
};

void tst_IntervalStreamHandle::intervals_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QList<quint32>>("times");
    QTest::addColumn<int>("payloadBytes");
    QTest::addColumn<double>("maxGap");
    QTest::addColumn<QList<Interval>>("expected");
    QTest::newRow("text: instants, gap 150") << "text" << "" << QList<quint32>{0, 100, 300} << 4 << 150.0
                                             << QList<Interval>{{0, 100}, {300, 0}};
    QTest::newRow("text: gap equal to the limit breaks") << "text" << "" << QList<quint32>{0, 150} << 4 << 150.0
                                                         << QList<Interval>{{0, 0}, {150, 0}};
    QTest::newRow("text: single frame") << "text" << "" << QList<quint32>{42} << 4 << 10.0
                                        << QList<Interval>{{42, 0}};
    // 800 A-law bytes last 100 ms: gaps are measured from a frame's end.
    QTest::newRow("audio: end of last frame") << "audio" << "PCMA" << QList<quint32>{0, 150, 1000} << 800 << 100.0
                                              << QList<Interval>{{0, 250}, {1000, 100}};
    QTest::newRow("audio: touching frames") << "audio" << "PCMA" << QList<quint32>{0, 100, 200} << 800 << 0.5
                                            << QList<Interval>{{0, 300}};
    QTest::newRow("audio: G726 across midnight") << "audio" << "G726-32" << QList<quint32>{86399900, 86400000, 86500000}
                                                 << 400 << 1000.0
                                                 << QList<Interval>{{86399900, 200}, {86500000, 100}};
}

void tst_IntervalStreamHandle::intervals()
{
    QFETCH(QString, type);
    QFETCH(QString, encoding);
    QFETCH(QList<quint32>, times);
    QFETCH(int, payloadBytes);
    QFETCH(double, maxGap);
    QFETCH(QList<Interval>, expected);
    TestRecording recording;
    recording.addStream(3, type, encoding, QStringLiteral("s"));
    recording.addStream(4, type, encoding, QStringLiteral("other"));
    for (quint32 t : times) {
        recording.frame(t, 3, alaw(payloadBytes));
        recording.frame(t + 1, 4, alaw(payloadBytes)); // another stream's frames never join
    }
    const auto reader = makeReader(recording.index().first(), maxGap);
    QCOMPARE(reader->open(), 0);
    QCOMPARE(reader->state(), int(StreamHandle::Open));
    QCOMPARE(allIntervals(reader.get()), expected);
    QCOMPARE(reader->state(), int(StreamHandle::AtEnd));
    QCOMPARE(reader->currentTime(), IndexFormat::kNoTime);
    QCOMPARE(reader->currentDuration(), -1.0);
    QCOMPARE(reader->readData(), 0);
}

void tst_IntervalStreamHandle::emptyStreamEndsAtOnce()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("s"));
    const auto reader = makeReader(recording.index().first(), 100);
    QCOMPARE(reader->open(), 0);
    QCOMPARE(reader->state(), int(StreamHandle::AtEnd));
    QCOMPARE(reader->next(), 0);
}

void tst_IntervalStreamHandle::seekStartsAtRecordInForce()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("s"));
    for (quint32 t : {0u, 100u, 1000u, 1100u, 5000u})
        recording.frame(t, 1, "e");
    const auto reader = makeReader(recording.index().first(), 200);
    reader->open();
    QCOMPARE(reader->seek(1050), 0);
    QCOMPARE(reader->state(), int(StreamHandle::OnRecord));
    QCOMPARE(reader->currentTime(), 1000.0);
    QCOMPARE(reader->currentDuration(), 0.0);
    QCOMPARE(allIntervals(reader.get()), (QList<Interval>{{1000, 100}, {5000, 0}}));
}

void tst_IntervalStreamHandle::foreignIndexGivesNothing()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("s"));
    recording.frame(0, 1, "e");
    TestRecording other;
    other.writer().writeSection(QStringLiteral("DEVICE"), {{QStringLiteral("NAME"), QStringLiteral("other")}});
    other.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("s"));
    other.frame(7, 1, "ee");
    StreamDescriptor descriptor = recording.index().first();
    descriptor.insert(QStringLiteral("INDEX_FILENAME"), other.index().first().value(QStringLiteral("INDEX_FILENAME")));
    const auto reader = makeReader(descriptor, 100);
    QCOMPARE(reader->open(), 0);
    QCOMPARE(reader->next(), 0);
    QCOMPARE(reader->seek(0), 1);
    QCOMPARE(reader->next(), 0);
    QCOMPARE(reader->currentTime(), IndexFormat::kNoTime);
}

void tst_IntervalStreamHandle::audioNeedsDecoder()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("AMR"), QStringLiteral("s"));
    recording.frame(0, 1, alaw(10));
    const auto reader = makeReader(recording.index().first(), 100);
    QCOMPARE(reader->open(), 1);
    QCOMPARE(reader->state(), int(StreamHandle::Closed));
    QCOMPARE(reader->next(), 0);
}

QTEST_GUILESS_MAIN(tst_IntervalStreamHandle)
#include "tst_intervalstreamhandle.moc"
