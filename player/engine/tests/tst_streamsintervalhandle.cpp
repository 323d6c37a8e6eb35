#include "player/engine/activitynavigator.h"
#include "player/engine/intervalstreamhandles.h"
#include "testsupport/testrecording.h"

#include <QtTest>

#include <memory>
#include <vector>

using namespace TestRecordingData;

namespace {

struct Merged
{
    double begin;
    double duration;
    QStringList names;
    bool operator==(const Merged &o) const { return begin == o.begin && duration == o.duration && names == o.names; }
};

// Two text streams "A" (id 1) and "B" (id 2) plus an audio stream "C" (id 3).
class Group
{
public:
    Group(const QList<quint32> &a, const QList<quint32> &b, double gapA, double gapB)
    {
        m_recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("A"));
        m_recording.addStream(2, QStringLiteral("text"), QString(), QStringLiteral("B"));
        for (quint32 t : a)
            m_recording.frame(t, 1, "a");
        for (quint32 t : b)
            m_recording.frame(t, 2, "b");
        const auto streams = m_recording.index();
        addMember(new TextIntervalHandle(streams.at(0)), gapA);
        addMember(new TextIntervalHandle(streams.at(1)), gapB);
        group.setNameKey(QStringLiteral("DESCRIPTION"));
    }
    QList<Merged> all()
    {
        QList<Merged> list;
        for (group.next(); group.state() == StreamHandle::OnRecord; group.next())
            list.append({group.currentTime(), group.currentDuration(), group.names()});
        return list;
    }
    StreamsIntervalHandle group;

private:
    void addMember(IntervalStreamHandle *member, double gap)
    {
        member->setMaxGap(gap);
        m_members.emplace_back(member);
        group.addHandle(member);
    }
    TestRecording m_recording;
    std::vector<std::unique_ptr<IntervalStreamHandle>> m_members;
};

} // namespace

Q_DECLARE_METATYPE(QList<Merged>)

class tst_StreamsIntervalHandle : public QObject
{
    Q_OBJECT

private slots:
    void merge_data();
    void merge();
    void seekMergesFromRecordInForce();
    void unusableMemberIsSkipped();
    void emptyGroup();
    void activityJumps_data();
    void activityJumps();
};

void tst_StreamsIntervalHandle::merge_data()
{
    QTest::addColumn<QList<quint32>>("a");
    QTest::addColumn<QList<quint32>>("b");
    QTest::addColumn<double>("gap");
    QTest::addColumn<QList<Merged>>("expected");
    const QStringList both = {QStringLiteral("A"), QStringLiteral("B")};
    // [0, 1000] and [1500, 2000].
    QTest::newRow("gap 600 joins") << QList<quint32>{0, 300, 600, 900, 1000} << QList<quint32>{1500, 1800, 2000} << 600.0
                                   << QList<Merged>{{0, 2000, both}};
    QTest::newRow("gap 400 keeps apart") << QList<quint32>{0, 300, 600, 900, 1000} << QList<quint32>{1500, 1800, 2000} << 400.0
                                         << QList<Merged>{{0, 1000, {QStringLiteral("A")}}, {1500, 500, {QStringLiteral("B")}}};
    QTest::newRow("same time on both: first in list order names first")
        << QList<quint32>{100} << QList<quint32>{100} << 10.0 << QList<Merged>{{100, 0, both}};
    QTest::newRow("B starts first") << QList<quint32>{300} << QList<quint32>{0, 100, 200} << 150.0
                                    << QList<Merged>{{0, 300, {QStringLiteral("B"), QStringLiteral("A")}}};
    // A's second interval only joins after B has widened the merged one.
    QTest::newRow("a later pass joins") << QList<quint32>{0, 1500} << QList<quint32>{900} << 1000.0
                                        << QList<Merged>{{0, 1500, both}};
}

void tst_StreamsIntervalHandle::merge()
{
    QFETCH(QList<quint32>, a);
    QFETCH(QList<quint32>, b);
    QFETCH(double, gap);
    QFETCH(QList<Merged>, expected);
    Group g(a, b, gap, gap);
    QCOMPARE(g.group.open(), 0);
    QCOMPARE(g.group.state(), int(StreamHandle::Open));
    const QList<Merged> merged = g.all();
    QCOMPARE(merged.size(), expected.size());
    for (int i = 0; i < merged.size(); ++i) {
        QCOMPARE(merged.at(i).begin, expected.at(i).begin);
        QCOMPARE(merged.at(i).duration, expected.at(i).duration);
        QCOMPARE(merged.at(i).names, expected.at(i).names);
    }
    QCOMPARE(g.group.state(), int(StreamHandle::AtEnd));
    QCOMPARE(g.group.currentTime(), IndexFormat::kNoTime);
    QCOMPARE(g.group.currentDuration(), -1.0);
    QCOMPARE(g.group.progress(), 1.0);
}

void tst_StreamsIntervalHandle::seekMergesFromRecordInForce()
{
    Group g({0, 5000, 5100}, {5050, 9000}, 200, 200);
    g.group.open();
    QCOMPARE(g.group.seek(5060), 0);
    const QList<Merged> merged = g.all();
    QCOMPARE(merged.size(), 2);
    QCOMPARE(merged.at(0).begin, 5000.0);
    QCOMPARE(merged.at(0).duration, 100.0);
    QCOMPARE(merged.at(0).names, QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(merged.at(1).begin, 9000.0);
}

void tst_StreamsIntervalHandle::unusableMemberIsSkipped()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("A"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("NONE"), QStringLiteral("B"));
    recording.frame(10, 1, "a");
    recording.frame(10, 2, alaw(80));
    const auto streams = recording.index();
    TextIntervalHandle a(streams.at(0));
    AudioIntervalHandle b(streams.at(1));
    StreamsIntervalHandle group;
    group.setNameKey(QStringLiteral("DESCRIPTION"));
    group.setHandles({&a, &b});
    QCOMPARE(group.open(), 1);
    QCOMPARE(group.next(), 0);
    QCOMPARE(group.state(), int(StreamHandle::OnRecord));
    QCOMPARE(group.names(), QStringList({QStringLiteral("A")}));
    group.next();
    QCOMPARE(group.state(), int(StreamHandle::AtEnd));
    QCOMPARE(group.close(), 0);
    QCOMPARE(a.state(), int(StreamHandle::Closed));
}

void tst_StreamsIntervalHandle::emptyGroup()
{
    StreamsIntervalHandle group;
    QCOMPARE(group.open(), 0);
    QCOMPARE(group.next(), 0);
    QCOMPARE(group.state(), int(StreamHandle::AtEnd));
    QCOMPARE(group.progress(), 0.0);
}

void tst_StreamsIntervalHandle::activityJumps_data()
{
    QTest::addColumn<double>("pos");
    QTest::addColumn<double>("next");
    QTest::addColumn<double>("previous");
    const double none = IndexFormat::kNoTime;
    // Audio 1: 100 ms frames at 1000-1200 and 5000; audio 2 at 5300 and
    // 20000; a text stream at 3000 is no activity to jump to. With a 1 s
    // gap the intervals start at 1000, 5000 (with 5300) and 20000.
    QTest::newRow("before the first") << 0.0 << 1000.0 << none;
    QTest::newRow("at the first") << 1000.0 << 5000.0 << none;
    QTest::newRow("inside the first") << 1150.0 << 5000.0 << none;
    QTest::newRow("in a gap") << 3000.0 << 5000.0 << 1000.0;
    QTest::newRow("inside a merged one") << 5350.0 << 20000.0 << 1000.0;
    QTest::newRow("just after a start") << 5200.0 << 20000.0 << 1000.0;
    QTest::newRow("well after a start") << 6000.0 << 20000.0 << 5000.0;
    QTest::newRow("in the last") << 20050.0 << none << 5000.0;
    QTest::newRow("after the last") << 90000.0 << none << 20000.0;
}

// Ctrl+Right / Ctrl+Left: the next / previous merged interval start.
void tst_StreamsIntervalHandle::activityJumps()
{
    QFETCH(double, pos);
    QFETCH(double, next);
    QFETCH(double, previous);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("A"));
    recording.addStream(2, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("B"));
    recording.addStream(3, QStringLiteral("text"), QString(), QStringLiteral("T"));
    for (quint32 t : {1000u, 1100u, 5000u})
        recording.frame(t, 1, alaw(800));
    for (quint32 t : {5300u, 20000u})
        recording.frame(t, 2, alaw(800));
    recording.frame(3000, 3, "event");
    ActivityNavigator navigator(recording.index(), 1000);
    QCOMPARE(navigator.nextStart(pos), next);
    QCOMPARE(navigator.previousStart(pos), previous);
}

QTEST_GUILESS_MAIN(tst_StreamsIntervalHandle)
#include "tst_streamsintervalhandle.moc"
