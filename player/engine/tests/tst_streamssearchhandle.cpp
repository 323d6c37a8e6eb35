#include "player/engine/framestreamhandles.h"
#include "player/engine/streamssearchhandle.h"
#include "testsupport/testrecording.h"

#include <QtTest>

namespace {

struct Found
{
    double time;
    QString text;
};

QList<Found> walk(StreamsSearchHandle *group)
{
    QList<Found> found;
    while (group->next() == 1) {
        const double time = group->currentTime();
        QString text;
        if (group->currentText(&text) != 0)
            break;
        found.append({time, text});
        if (group->currentTime() != time) // stays valid after the text was read
            found.append({-1, QString()});
    }
    return found;
}

} // namespace

class tst_StreamsSearchHandle : public QObject
{
    Q_OBJECT

private slots:
    void mergesStreamsInTimeOrder();
    void seekStartsAtFirstFrameNotBefore_data();
    void seekStartsAtFirstFrameNotBefore();
    void currentTextNeedsAFrame();
};

// Two text streams (one Windows-1251, one without codec) with frames at 10,
// 30 and 20, 40 ms, and one at the same time on both.
void tst_StreamsSearchHandle::mergesStreamsInTimeOrder()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("A"));
    recording.addStream(2, QStringLiteral("text"), QString(), QStringLiteral("B"));
    recording.text(10, 1, QStringLiteral("десять"));
    recording.frame(20, 2, "twenty");
    recording.text(30, 1, QStringLiteral("тридцать"));
    recording.frame(40, 2, QByteArray("forty\0tail", 10)); // the text reader drops NUL bytes
    recording.frame(50, 2, "fifty-b");
    recording.text(50, 1, QStringLiteral("пятьдесят"));
    const auto streams = recording.index();
    TextStreamHandle a(streams.at(0));
    TextStreamHandle b(streams.at(1));
    StreamsSearchHandle group;
    group.setHandles({&a, &b});
    QCOMPARE(group.open(), 0);
    const QList<Found> found = walk(&group);
    QStringList texts;
    QList<double> times;
    for (const Found &f : found) {
        texts.append(f.text);
        times.append(f.time);
    }
    QCOMPARE(times, QList<double>({10, 20, 30, 40, 50, 50}));
    QCOMPARE(texts, QStringList({QStringLiteral("десять"), QStringLiteral("twenty"), QStringLiteral("тридцать"),
                                 QStringLiteral("fortytail"), QStringLiteral("пятьдесят"), QStringLiteral("fifty-b")}));
    QCOMPARE(group.state(), int(StreamHandle::AtEnd));
    QCOMPARE(group.current(), nullptr);
    QCOMPARE(group.progress(), 1.0);
}

void tst_StreamsSearchHandle::seekStartsAtFirstFrameNotBefore_data()
{
    QTest::addColumn<double>("t");
    QTest::addColumn<QList<double>>("times");
    QTest::newRow("before every frame") << 0.0 << QList<double>{100, 200, 200, 300};
    QTest::newRow("on frames at the same time") << 200.0 << QList<double>{200, 200, 300};
    QTest::newRow("between frames") << 150.5 << QList<double>{200, 200, 300};
    QTest::newRow("after the last") << 301.0 << QList<double>{};
}

void tst_StreamsSearchHandle::seekStartsAtFirstFrameNotBefore()
{
    QFETCH(double, t);
    QFETCH(QList<double>, times);
    TestRecording recording;
    recording.addStream(1, QStringLiteral("text"), QString(), QStringLiteral("A"));
    recording.addStream(2, QStringLiteral("text"), QString(), QStringLiteral("B"));
    recording.frame(100, 1, "a100");
    recording.frame(200, 1, "a200");
    recording.frame(200, 2, "b200");
    recording.frame(300, 2, "b300");
    const auto streams = recording.index();
    TextStreamHandle a(streams.at(0));
    TextStreamHandle b(streams.at(1));
    StreamsSearchHandle group;
    group.setHandles({&a, &b});
    group.open();
    QCOMPARE(group.seek(t), 0);
    QList<double> found;
    for (const Found &f : walk(&group))
        found.append(f.time);
    QCOMPARE(found, times);
}

void tst_StreamsSearchHandle::currentTextNeedsAFrame()
{
    StreamsSearchHandle group;
    QString text = QStringLiteral("unchanged");
    QCOMPARE(group.currentText(&text), 1);
    QCOMPARE(text, QStringLiteral("unchanged"));
    QCOMPARE(group.next(), 0);
    QCOMPARE(group.currentTime(), IndexFormat::kNoTime);
}

QTEST_GUILESS_MAIN(tst_StreamsSearchHandle)
#include "tst_streamssearchhandle.moc"
