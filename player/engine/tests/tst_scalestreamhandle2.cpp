#include "player/engine/scalestreamhandles.h"
#include "testsupport/testrecording.h"

#include <QtTest>

#include <memory>

using namespace TestRecordingData;

namespace {

const QList<uint> kSteps = {250, 1000, 4000};
// Frames of one stream: three bursts; the gaps 800 ms and 8900 ms break
// level-0 and level-1 intervals (thresholds 250 and 1000 ms) differently.
const QList<quint32> kTimes = {0, 100, 200, 1000, 1100, 10000};

using Item = QPair<double, double>; // begin, duration (ms)

QList<Item> items(ScaleStreamHandle2 *reader)
{
    QList<Item> list;
    while (reader->state() != StreamHandle::AtEnd) {
        if (reader->state() == StreamHandle::OnRecord)
            list.append({reader->currentTime(), reader->currentDuration()});
        reader->next();
    }
    return list;
}

QList<double> frameTimes(ScaleStreamHandle2 *reader)
{
    QList<double> times;
    while (reader->readData() == 0)
        times.append(reader->frameTime());
    return times;
}

// Sets the scale so that the reader works at `level`.
void useLevel(ScaleStreamHandle2 *reader, int level)
{
    reader->setScale(level == 0 ? 1.0 : double(kSteps.at(level - 1)), nullptr);
}

} // namespace

Q_DECLARE_METATYPE(QList<Item>)

class tst_ScaleStreamHandle2 : public QObject
{
    Q_OBJECT

private slots:
    void setScaleChoosesLevel_data();
    void setScaleChoosesLevel();
    void itemsPerLevel_data();
    void itemsPerLevel();
    void levelZeroItemHasOneFrame();
    void framesOfAnItem();
    void seekFindsItem_data();
    void seekFindsItem();
    void audioItemsIncludeLastFrame();
    void foreignIndexGivesNoItems();
    void openFails_data();
    void openFails();
};

void tst_ScaleStreamHandle2::setScaleChoosesLevel_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("level");
    QTest::newRow("below the first step") << 100.0 << 0;
    QTest::newRow("on the first step") << 250.0 << 1;
    QTest::newRow("999") << 999.0 << 1;
    QTest::newRow("above the last step") << 5000.0 << 3;
}

void tst_ScaleStreamHandle2::setScaleChoosesLevel()
{
    QFETCH(double, x);
    QFETCH(int, level);
    TextScaleHandle2 reader(StreamDescriptor(), kSteps);
    QCOMPARE(reader.level(), 0);
    bool changed = false;
    reader.setScale(x, &changed);
    QCOMPARE(reader.level(), level);
    QCOMPARE(changed, level != 0);
    QCOMPARE(reader.scale(), x);
    reader.setScale(x, &changed);
    QCOMPARE(changed, false);
}

void tst_ScaleStreamHandle2::itemsPerLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QList<Item>>("expected");
    QTest::newRow("level 0: every frame") << 0 << QList<Item>{{0, 0}, {100, 0}, {200, 0}, {1000, 0}, {1100, 0}, {10000, 0}};
    QTest::newRow("level 1: gaps over 250 ms") << 1 << QList<Item>{{0, 200}, {1000, 100}, {10000, 0}};
    QTest::newRow("level 2: gaps over 1000 ms") << 2 << QList<Item>{{0, 1100}, {10000, 0}};
}

void tst_ScaleStreamHandle2::itemsPerLevel()
{
    QFETCH(int, level);
    QFETCH(QList<Item>, expected);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("t"));
    recording.addStream(2, QStringLiteral("text"), QString(), QStringLiteral("other"));
    for (quint32 t : kTimes) {
        recording.text(t, 1, QStringLiteral("к%1").arg(t));
        recording.frame(t + 50, 2, "x");
    }
    TextScaleHandle2 reader(recording.index().first(), kSteps);
    QCOMPARE(reader.open(), 0);
    useLevel(&reader, level);
    reader.next();
    QCOMPARE(items(&reader), expected);
    QCOMPARE(reader.currentTime(), IndexFormat::kNoTime);
    QCOMPARE(reader.readData(), 1);
}

void tst_ScaleStreamHandle2::levelZeroItemHasOneFrame()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("t"));
    for (quint32 t : kTimes)
        recording.text(t, 1, QStringLiteral("кадр %1").arg(t));
    TextScaleHandle2 reader(recording.index().first(), kSteps);
    reader.open();
    useLevel(&reader, 0);
    QCOMPARE(reader.seek(1000), 0);
    QCOMPARE(reader.frameTime(), IndexFormat::kNoTime);
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(reader.frameTime(), 1000.0);
    QCOMPARE(reader.frameDuration(), 0.0);
    QCOMPARE(QString::fromUtf8(reader.output()), QStringLiteral("кадр 1000"));
    QCOMPARE(reader.readData(), 1);
    QCOMPARE(reader.state(), int(StreamHandle::OnRecord));
    reader.next();
    QCOMPARE(reader.currentTime(), 1100.0);
}

void tst_ScaleStreamHandle2::framesOfAnItem()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("t"));
    for (quint32 t : kTimes)
        recording.frame(t, 1, QByteArray::number(t));
    TextScaleHandle2 reader(recording.index().first(), kSteps);
    reader.open();
    useLevel(&reader, 2);
    reader.seek(0);
    QCOMPARE(frameTimes(&reader), QList<double>({0, 100, 200, 1000, 1100}));
    QCOMPARE(reader.output(), QByteArray("1100"));
    reader.next();
    QCOMPARE(frameTimes(&reader), QList<double>({10000}));
    QVERIFY(reader.recordsRead() > 0);
}

void tst_ScaleStreamHandle2::seekFindsItem_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("duration");
    QTest::newRow("level 1, start of the first item") << 1 << 0.0 << 0.0 << 200.0;
    QTest::newRow("level 1, inside an item") << 1 << 150.0 << 0.0 << 200.0;
    QTest::newRow("level 1, on an item's last frame") << 1 << 200.0 << 1000.0 << 100.0;
    QTest::newRow("level 1, between items") << 1 << 500.0 << 1000.0 << 100.0;
    QTest::newRow("level 1, past the last (single-frame) item") << 1 << 20000.0 << 10000.0 << 0.0;
    QTest::newRow("level 2, inside") << 2 << 1050.0 << 0.0 << 1100.0;
    QTest::newRow("level 0, between frames") << 0 << 1050.0 << 1000.0 << 0.0;
}

void tst_ScaleStreamHandle2::seekFindsItem()
{
    QFETCH(int, level);
    QFETCH(double, t);
    QFETCH(double, begin);
    QFETCH(double, duration);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("t"));
    for (quint32 time : kTimes)
        recording.frame(time, 1, "e");
    TextScaleHandle2 reader(recording.index().first(), kSteps);
    reader.open();
    useLevel(&reader, level);
    QCOMPARE(reader.seek(t), 0);
    QCOMPARE(reader.state(), int(StreamHandle::OnRecord));
    QCOMPARE(reader.currentTime(), begin);
    QCOMPARE(reader.currentDuration(), duration);
}

// Audio items end at the end of their last frame; frames are decoded whole.
void tst_ScaleStreamHandle2::audioItemsIncludeLastFrame()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("a"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("TETRA"), QStringLiteral("b"));
    const QByteArray tetra = tetraFrames(4);
    for (quint32 t : {0u, 100u, 200u, 5000u}) {
        recording.frame(t, 1, alaw(800));
        recording.frame(t, 2, tetra);
    }
    const auto streams = recording.index();
    AudioScaleHandle2 alawReader(streams.at(0), kSteps);
    AudioScaleHandle2 tetraReader(streams.at(1), kSteps);
    for (AudioScaleHandle2 *reader : {&alawReader, &tetraReader}) {
        QCOMPARE(reader->open(), 0);
        useLevel(reader, 1);
        QCOMPARE(reader->seek(0), 0);
    }
    QCOMPARE(alawReader.currentDuration(), 300.0);
    QCOMPARE(tetraReader.currentDuration(), 320.0);
    QCOMPARE(alawReader.readData(), 0);
    QCOMPARE(alawReader.frameDuration(), 100.0);
    QCOMPARE(alawReader.output().size(), 1600);
    QCOMPARE(sampleAt(alawReader.output(), 799), kAlawPositiveSample);
    QCOMPARE(tetraReader.readData(), 0);
    QCOMPARE(tetraReader.frameDuration(), 120.0);
    QCOMPARE(tetraReader.output().size(), 4 * 480);
    alawReader.next();
    QCOMPARE(alawReader.currentTime(), 5000.0);
    QCOMPARE(alawReader.currentDuration(), 100.0);
    alawReader.next();
    QCOMPARE(alawReader.state(), int(StreamHandle::AtEnd));
    QCOMPARE(alawReader.currentDuration(), -1.0);
}

void tst_ScaleStreamHandle2::foreignIndexGivesNoItems()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("t"));
    for (quint32 t : kTimes)
        recording.frame(t, 1, "e");
    TestRecording other;
    other.writer().writeSection(QStringLiteral("DEVICE"), {{QStringLiteral("NAME"), QStringLiteral("other")}});
    other.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("t"));
    for (quint32 t : kTimes)
        other.frame(t, 1, "eeee");
    StreamDescriptor descriptor = recording.index().first();
    descriptor.insert(QStringLiteral("INDEX_FILENAME"), other.index().first().value(QStringLiteral("INDEX_FILENAME")));
    for (int level : {0, 1, 3}) {
        TextScaleHandle2 reader(descriptor, kSteps);
        QCOMPARE(reader.open(), 0);
        useLevel(&reader, level);
        QCOMPARE(reader.seek(0), 1);
        QCOMPARE(items(&reader), QList<Item>());
    }
}

void tst_ScaleStreamHandle2::openFails_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("audio without decoder") << "audio" << "ENCODING" << "WAV";
    QTest::newRow("no index file") << "text" << "INDEX_FILENAME" << "";
    QTest::newRow("ID not a number") << "text" << "ID" << "-";
}

void tst_ScaleStreamHandle2::openFails()
{
    QFETCH(QString, type);
    QFETCH(QString, key);
    QFETCH(QString, value);
    TestRecording recording;
    recording.addStream(1, type, QStringLiteral("PCMA"), QStringLiteral("t"));
    recording.frame(0, 1, alaw(8));
    StreamDescriptor descriptor = recording.index().first();
    descriptor.insert(key, value);
    std::unique_ptr<ScaleStreamHandle2> reader;
    if (type == QLatin1String("audio"))
        reader.reset(new AudioScaleHandle2(descriptor, kSteps));
    else
        reader.reset(new TextScaleHandle2(descriptor, kSteps));
    QCOMPARE(reader->open(), 1);
    QCOMPARE(reader->seek(0), 0);
    QCOMPARE(reader->next(), 0);
    QCOMPARE(reader->state(), int(StreamHandle::Closed));
    QCOMPARE(reader->readData(), 1);
}

QTEST_GUILESS_MAIN(tst_ScaleStreamHandle2)
#include "tst_scalestreamhandle2.moc"
