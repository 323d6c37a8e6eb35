// StreamThread2 against real scale readers of indexed recordings; its items
// reach a collector in the test's thread through queued connections, as
// they reach a timeline row.
#include "player/engine/scalestreamhandles.h"
#include "player/engine/streamthread2.h"
#include "testsupport/testrecording.h"

#include <QtTest>

#include <memory>

namespace {

constexpr int kWaitMs = 20000;
const QDateTime kBase(QDate(2012, 12, 31), QTime(23, 59), Qt::UTC);

QList<uint> scaleSteps()
{
    QList<uint> steps;
    for (int t : defaultActivityThresholds())
        steps.append(uint(t));
    return steps;
}

struct Item {
    int kind;
    double begin;
    double duration;
    QByteArray data;
};

struct Removal {
    double begin;
    double end;
    bool inside;
    bool operator==(const Removal &o) const { return begin == o.begin && end == o.end && inside == o.inside; }
};

// What one serve sent: its removal and its items, in order.
struct Serve {
    QList<Removal> removals;
    QList<Item> items;
    QList<double> begins() const
    {
        QList<double> list;
        for (const Item &item : items)
            list.append(item.begin);
        return list;
    }
};

} // namespace

// Receives a feeder's signals in the test's thread and cuts them into serves.
class Collector : public QObject
{
    Q_OBJECT

public:
    QList<Serve> serves;
    Serve pending;
    QList<QDateTime> bases;

    // Waits until `count` serves have been completed.
    bool waitForServes(int count) { return QTest::qWaitFor([&] { return serves.size() >= count; }, kWaitMs); }

public slots:
    void add(int kind, QDateTime base, double begin, double duration, QByteArray data)
    {
        pending.items.append(Item{kind, begin, duration, data});
        bases.append(base);
    }
    void remove(double begin, double end, bool inside) { pending.removals.append(Removal{begin, end, inside}); }
    void served(double, double)
    {
        serves.append(pending);
        pending = Serve();
    }
};

class tst_StreamThread2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void withoutReaderEndsAtOnce();
    void firstRangeIsFilledWithEveryFrame();
    void scrollingSendsOnlyTheExposedStrips();
    void scrollBelowTheToleranceReadsNothing();
    void resizeAloneRecomputesTheLevel();
    void jumpWithoutOverlapReloadsEverything();
    void coarseLevelSendsItemSpansWithoutData_data();
    void coarseLevelSendsItemSpansWithoutData();
    void textRowCarriesTheText();
    void negativeBeginReadsFromZero();
    void unusableReaderSendsNothing();
    void stopWhileIdleEndsTheThread();
    void stopInTheMiddleOfAFillEndsIt();

private:
    // A feeder on `reader`, wired to m_collector; started by the first request().
    void startFeeder(std::unique_ptr<ScaleStreamHandle2> reader, int kind, int detailThreshold = INT_MAX);
    void request(double begin, double duration, double width = -1);

    TestRecording m_recording;
    StreamDescriptor m_audio, m_text;
    std::unique_ptr<StreamThread2> m_feeder;
    std::unique_ptr<Collector> m_collector;
    double m_width = 0;
};

void tst_StreamThread2::initTestCase()
{
    // Audio: ten 100 ms frames from 0, five from 3000, one at 15000 ms. The
    // gaps between frame starts, 2100 and 11600 ms, are split at levels 1-2
    // (250, 1000 ms), 3 (4000 ms) and 4 (16000 ms) differently.
    m_recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Канал 1"));
    m_recording.addStream(2, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    for (int k = 0; k < 10; ++k)
        m_recording.frame(quint32(k * 100), 1, TestRecordingData::alaw(800));
    m_recording.text(450, 2, QStringLiteral("Вызов"));
    for (int k = 0; k < 5; ++k)
        m_recording.frame(quint32(3000 + k * 100), 1, TestRecordingData::alaw(800));
    m_recording.text(3100, 2, QStringLiteral("Отбой"));
    m_recording.frame(15000, 1, TestRecordingData::alaw(800));
    const QList<StreamDescriptor> streams = m_recording.index();
    m_audio = streams.at(0);
    m_text = streams.at(1);
}

void tst_StreamThread2::init()
{
    m_collector.reset(new Collector);
    m_width = 0;
}

void tst_StreamThread2::cleanup()
{
    if (m_feeder) {
        m_feeder->setStopped(true);
        QVERIFY(m_feeder->wait(kWaitMs));
        m_feeder.reset();
    }
}

void tst_StreamThread2::startFeeder(std::unique_ptr<ScaleStreamHandle2> reader, int kind, int detailThreshold)
{
    m_feeder = std::make_unique<StreamThread2>(std::move(reader), kBase, kind);
    m_feeder->setDetailThreshold(detailThreshold);
    connect(m_feeder.get(), &StreamThread2::addDataItem, m_collector.get(), &Collector::add);
    connect(m_feeder.get(), &StreamThread2::removeDataItem, m_collector.get(), &Collector::remove);
    connect(m_feeder.get(), &StreamThread2::rangeServed, m_collector.get(), &Collector::served);
}

// As the row's scene does: a new width (pixels) or a new range. The first
// request gives both before the thread starts; later ones change one of
// the two, so that each request is served once.
void tst_StreamThread2::request(double begin, double duration, double width)
{
    if (width >= 0 && width != m_width) {
        m_width = width;
        m_feeder->sceneRectChange(QRectF(0, 0, width, 30));
    }
    m_feeder->rangeChanged(begin, duration);
    if (!m_feeder->isRunning() && !m_feeder->isFinished())
        m_feeder->start(QThread::InheritPriority);
}

void tst_StreamThread2::withoutReaderEndsAtOnce()
{
    StreamThread2 feeder(nullptr, kBase, StreamThread2::AudioItem);
    feeder.start();
    QVERIFY(feeder.wait(kWaitMs));
}

void tst_StreamThread2::firstRangeIsFilledWithEveryFrame()
{
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem);
    request(0, 1000, 1000); // 1 ms per pixel: every frame
    QVERIFY(m_collector->waitForServes(1));
    const Serve &serve = m_collector->serves.at(0);
    QCOMPARE(serve.removals, (QList<Removal>{{4294967295.0, 4294967294.0, true}}));
    QCOMPARE(serve.begins(), (QList<double>{0, 100, 200, 300, 400, 500, 600, 700, 800, 900}));
    for (const Item &item : serve.items) {
        QCOMPARE(item.kind, int(StreamThread2::AudioItem));
        QCOMPARE(item.duration, 100.0);
        QCOMPARE(item.data.size(), 1600); // 800 samples
    }
    QVERIFY(std::all_of(m_collector->bases.begin(), m_collector->bases.end(),
                        [](const QDateTime &b) { return b == kBase; }));
}

void tst_StreamThread2::scrollingSendsOnlyTheExposedStrips()
{
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem);
    request(0, 650, 650);
    QVERIFY(m_collector->waitForServes(1));
    // Right by 350 ms: the frame at 600 straddles the old right edge.
    request(350, 650);
    QVERIFY(m_collector->waitForServes(2));
    // Left to 120 ms with a shorter range: the frame at 300 straddles the
    // old left edge.
    request(120, 650);
    QVERIFY(m_collector->waitForServes(3));

    const QList<Serve> &s = m_collector->serves;
    QCOMPARE(s.at(0).begins(), (QList<double>{0, 100, 200, 300, 400, 500, 600}));
    QCOMPARE(s.at(1).removals, (QList<Removal>{{350, 650, false}}));
    QCOMPARE(s.at(1).begins(), (QList<double>{700, 800, 900}));
    QCOMPARE(s.at(2).removals, (QList<Removal>{{350, 770, false}}));
    QCOMPARE(s.at(2).begins(), (QList<double>{100, 200}));
}

void tst_StreamThread2::scrollBelowTheToleranceReadsNothing()
{
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem);
    request(0, 650, 650);
    QVERIFY(m_collector->waitForServes(1));
    request(0.00005, 650 - 0.00005);
    QTest::qWait(300); // three idle polls
    request(3000, 650);
    QVERIFY(m_collector->waitForServes(2));
    QCOMPARE(m_collector->serves.size(), 2);
    // The jump starts from the range served first: nothing was served between.
    QCOMPARE(m_collector->serves.at(1).removals, (QList<Removal>{{0, 650, true}}));
    QCOMPARE(m_collector->serves.at(1).begins(), (QList<double>{3000, 3100, 3200, 3300, 3400}));
}

void tst_StreamThread2::resizeAloneRecomputesTheLevel()
{
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem, 2);
    request(0, 30000, 300); // 100 ms per pixel: level 0, every frame
    QVERIFY(m_collector->waitForServes(1));
    QCOMPARE(m_collector->serves.at(0).items.size(), 16);
    QCOMPARE(m_feeder->servedLevel(), 0);

    request(0, 30000, 60); // 500 ms per pixel: level 1, frames of each interval
    QVERIFY(m_collector->waitForServes(2));
    QCOMPARE(m_feeder->servedLevel(), 1);
    QCOMPARE(m_collector->serves.at(1).removals, (QList<Removal>{{0, 30000, true}}));
    QCOMPARE(m_collector->serves.at(1).items.size(), 16);

    request(0, 30000, 40); // 750 ms per pixel: still level 1, nothing to read
    QVERIFY(m_collector->waitForServes(3));
    QCOMPARE(m_collector->serves.at(2).removals, (QList<Removal>{{0, 30000, false}}));
    QVERIFY(m_collector->serves.at(2).items.isEmpty());

    request(0, 30000, 7); // 4286 ms per pixel: level 3, spans only
    QVERIFY(m_collector->waitForServes(4));
    QCOMPARE(m_feeder->servedLevel(), 3);
    QCOMPARE(m_collector->serves.at(3).removals, (QList<Removal>{{0, 30000, true}}));
    QVERIFY(!m_collector->serves.at(3).items.isEmpty());
    for (const Item &item : m_collector->serves.at(3).items)
        QVERIFY(item.data.isEmpty());
}

void tst_StreamThread2::jumpWithoutOverlapReloadsEverything()
{
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem);
    request(0, 1000, 1000);
    QVERIFY(m_collector->waitForServes(1));
    request(14950, 1000);
    QVERIFY(m_collector->waitForServes(2));
    QCOMPARE(m_collector->serves.at(1).removals, (QList<Removal>{{0, 1000, true}}));
    QCOMPARE(m_collector->serves.at(1).begins(), (QList<double>{15000}));
}

void tst_StreamThread2::coarseLevelSendsItemSpansWithoutData_data()
{
    QTest::addColumn<double>("msPerPixel");
    QTest::addColumn<QList<double>>("begins");
    QTest::addColumn<QList<double>>("durations");
    // Levels 1 and 2: runs of frames with gaps up to 250 / 1000 ms.
    QTest::newRow("level 1") << 300.0 << QList<double>{0, 3000, 15000} << QList<double>{1000, 500, 100};
    QTest::newRow("level 2") << 1000.0 << QList<double>{0, 3000, 15000} << QList<double>{1000, 500, 100};
    // Level 3: gaps up to 4000 ms, so the first two runs are one item.
    QTest::newRow("level 3") << 5000.0 << QList<double>{0, 15000} << QList<double>{3500, 100};
    // Level 4: gaps up to 16000 ms: one item for everything.
    QTest::newRow("level 4") << 20000.0 << QList<double>{0} << QList<double>{15100};
}

void tst_StreamThread2::coarseLevelSendsItemSpansWithoutData()
{
    QFETCH(double, msPerPixel);
    QFETCH(QList<double>, begins);
    QFETCH(QList<double>, durations);
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem, 1);
    request(0, 30000, 30000 / msPerPixel);
    QVERIFY(m_collector->waitForServes(1));
    const Serve &serve = m_collector->serves.at(0);
    QCOMPARE(serve.begins(), begins);
    for (int i = 0; i < serve.items.size(); ++i) {
        QCOMPARE(serve.items.at(i).duration, durations.at(i));
        QVERIFY(serve.items.at(i).data.isEmpty());
    }
}

void tst_StreamThread2::textRowCarriesTheText()
{
    startFeeder(std::make_unique<TextScaleHandle2>(m_text, scaleSteps()), StreamThread2::TextItem, 1);
    request(0, 6000, 6000);
    QVERIFY(m_collector->waitForServes(1));
    const Serve &serve = m_collector->serves.at(0);
    QCOMPARE(serve.begins(), (QList<double>{450, 3100}));
    QCOMPARE(serve.items.at(0).kind, int(StreamThread2::TextItem));
    QCOMPARE(serve.items.at(0).duration, 0.0);
    QCOMPARE(QString::fromUtf8(serve.items.at(0).data), QStringLiteral("Вызов"));
    QCOMPARE(QString::fromUtf8(serve.items.at(1).data), QStringLiteral("Отбой"));

    // Zoomed out, one item carries both events' texts, each ended by a zero.
    request(0, 30000, 30000 / 20000.0);
    QVERIFY(m_collector->waitForServes(2));
    const Serve &coarse = m_collector->serves.at(1);
    QCOMPARE(coarse.begins(), (QList<double>{450}));
    QCOMPARE(coarse.items.at(0).data, QStringLiteral("Вызов").toUtf8() + '\0' + QStringLiteral("Отбой").toUtf8() + '\0');
}

void tst_StreamThread2::negativeBeginReadsFromZero()
{
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem);
    request(-500, 1000, 1000);
    QVERIFY(m_collector->waitForServes(1));
    QCOMPARE(m_collector->serves.at(0).begins(), (QList<double>{0, 100, 200, 300, 400}));
}

void tst_StreamThread2::unusableReaderSendsNothing()
{
    StreamDescriptor noIndex = m_audio;
    noIndex.remove(QStringLiteral("INDEX_FILENAME"));
    startFeeder(std::make_unique<AudioScaleHandle2>(noIndex, scaleSteps()), StreamThread2::AudioItem);
    request(0, 30000, 1000);
    QVERIFY(m_collector->waitForServes(1));
    request(100, 30000);
    QVERIFY(m_collector->waitForServes(2));
    QVERIFY(m_collector->serves.at(0).items.isEmpty());
    QVERIFY(m_collector->serves.at(1).items.isEmpty());
}

void tst_StreamThread2::stopWhileIdleEndsTheThread()
{
    startFeeder(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), StreamThread2::AudioItem);
    m_feeder->start();
    QVERIFY(!m_feeder->isStopped());
    m_feeder->setStopped(true);
    QVERIFY(m_feeder->isStopped());
    QVERIFY(m_feeder->wait(kWaitMs));
    QVERIFY(m_collector->serves.isEmpty());
}

// The flag is looked at before every item: a stop during a long fill ends
// the thread after the item in hand, and the cut range is not reported as
// served. Items are delivered blocking, and the second one stops the feeder
// while it waits on that delivery.
void tst_StreamThread2::stopInTheMiddleOfAFillEndsIt()
{
    m_feeder = std::make_unique<StreamThread2>(std::make_unique<AudioScaleHandle2>(m_audio, scaleSteps()), kBase, StreamThread2::AudioItem);
    int items = 0;
    connect(m_feeder.get(), &StreamThread2::addDataItem, m_collector.get(), [&] {
        if (++items == 2)
            m_feeder->setStopped(true);
    }, Qt::BlockingQueuedConnection);
    connect(m_feeder.get(), &StreamThread2::rangeServed, m_collector.get(), &Collector::served);
    request(0, 30000, 300); // level 0: 16 items
    QTRY_VERIFY_WITH_TIMEOUT(m_feeder->isFinished(), kWaitMs);
    QCOMPARE(items, 2);
    QVERIFY(m_collector->serves.isEmpty());
}

QTEST_GUILESS_MAIN(tst_StreamThread2)
#include "tst_streamthread2.moc"
