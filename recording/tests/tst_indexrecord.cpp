#include "recording/indexrecord.h"
#include "recording/rawstream.h"
#include "recording/recordingwriter.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>

namespace {

using Times = QList<quint32>;

// A temporary index file holding one record per time, stream 3.
FILE *indexWithTimes(const Times &times)
{
    FILE *file = tmpfile();
    for (int i = 0; i < times.size(); ++i) {
        IndexRecord r;
        r.offset = quint32(i * 100);
        r.length = 6;
        r.time = times.at(i);
        r.stream = 3;
        writeRecord(file, r);
    }
    fflush(file);
    return file;
}

QList<IndexRecord> readAll(FILE *file)
{
    QList<IndexRecord> records;
    rewind(file);
    IndexRecord r;
    while (readRecord(file, &r))
        records.append(r);
    return records;
}

// The highest level (plus one) at which record i starts / ends an interval,
// computed directly from the gaps.
QPair<int, int> expectedLevels(const Times &times, int i, const QList<int> &thresholds)
{
    int start = 0, end = 0;
    for (int level = 0; level < thresholds.size(); ++level) {
        const quint32 g = quint32(thresholds.at(level));
        if (i == 0 || quint32(times.at(i) - times.at(i - 1)) > g)
            start = level + 1;
        if (i == times.size() - 1 || quint32(times.at(i + 1) - times.at(i)) > g)
            end = level + 1;
    }
    return qMakePair(start, end);
}

} // namespace

class tst_IndexRecord : public QObject
{
    Q_OBJECT

private slots:
    void recordLayout_data();
    void recordLayout();
    void findRecordByTime_data();
    void findRecordByTime();
    void markLevelExample();
    void markLevelSingleFrame();
    void markAllLevelsMatchesGaps_data();
    void markAllLevelsMatchesGaps();
    void findLevel_data();
    void findLevel();
    void validateRecord_data();
    void validateRecord();
};

void tst_IndexRecord::recordLayout_data()
{
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("below 4 GiB") << quint64(0x04030201)
        << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\xFE\xFF\xFF\xFF\x07\x09\x00\x00", 20);
    // Bits 32..47 of the offset go to the two bytes after the levels.
    QTest::newRow("beyond 4 GiB") << quint64(0xBEEF04030201)
        << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\xFE\xFF\xFF\xFF\x07\x09\xEF\xBE", 20);
}

void tst_IndexRecord::recordLayout()
{
    QFETCH(quint64, offset);
    QFETCH(QByteArray, expected);
    FILE *file = tmpfile();
    IndexRecord r;
    r.offset = offset;
    r.length = 0x08070605;
    r.time = 0x0C0B0A09;
    r.stream = -2;
    r.startLevel = 7;
    r.endLevel = 9;
    QVERIFY(writeRecord(file, r));
    rewind(file);
    unsigned char bytes[21];
    QCOMPARE(fread(bytes, 1, 21, file), size_t(20));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(bytes), 20), expected);
    IndexRecord back;
    QVERIFY(readRecordAt(file, 0, &back));
    QCOMPARE(back.offset, offset);
    QCOMPARE(back.startLevel, quint8(7));
    fclose(file);
}

void tst_IndexRecord::findRecordByTime_data()
{
    QTest::addColumn<Times>("times");
    QTest::addColumn<double>("t");
    QTest::addColumn<qint64>("offset");

    const Times four{100, 200, 200, 300};
    QTest::newRow("before first") << four << 50.0 << qint64(0);
    QTest::newRow("equal first") << four << 100.0 << qint64(0);
    QTest::newRow("equal times take the last") << four << 200.0 << qint64(40);
    QTest::newRow("between") << four << 250.0 << qint64(40);
    QTest::newRow("after last") << four << 1e9 << qint64(60);
    QTest::newRow("single record") << Times{500} << 10.0 << qint64(0);
    Times many;
    for (quint32 i = 0; i < 1000; ++i)
        many.append(i * 10);
    QTest::newRow("many, fraction") << many << 5555.5 << qint64(555 * 20);
    QTest::newRow("many, last") << many << 9990.0 << qint64(999 * 20);
    QTest::newRow("unsigned max time") << Times{1, 0xFFFFFFFFu} << 4294967295.0 << qint64(20);
}

void tst_IndexRecord::findRecordByTime()
{
    QFETCH(Times, times);
    QFETCH(double, t);
    QFETCH(qint64, offset);
    FILE *file = indexWithTimes(times);
    IndexRecord r;
    QCOMPARE(::findRecordByTime(file, t, &r), offset);
    QCOMPARE(r.time, times.at(int(offset / 20)));
    QCOMPARE(ftello(file), offset + 20);
    fclose(file);

    FILE *empty = tmpfile();
    QCOMPARE(::findRecordByTime(empty, t, &r), qint64(0));
    QCOMPARE(r.stream, -1);
    fclose(empty);
}

void tst_IndexRecord::markLevelExample()
{
    FILE *file = indexWithTimes({0, 100, 5000, 5100});
    markLevel(file, 0, 250);
    markLevel(file, 1, 1000);
    const QList<IndexRecord> r = readAll(file);
    QCOMPARE(r.size(), 4);
    QCOMPARE(r[0].startLevel, quint8(2));
    QCOMPARE(r[0].endLevel, quint8(0));
    QCOMPARE(r[1].startLevel, quint8(0));
    QCOMPARE(r[1].endLevel, quint8(2));
    QCOMPARE(r[2].startLevel, quint8(2));
    QCOMPARE(r[2].endLevel, quint8(0));
    QCOMPARE(r[3].startLevel, quint8(0));
    QCOMPARE(r[3].endLevel, quint8(2));
    QCOMPARE(r[2].time, quint32(5000)); // other fields untouched
    QCOMPARE(r[2].offset, quint64(200));
    fclose(file);
}

void tst_IndexRecord::markLevelSingleFrame()
{
    FILE *file = indexWithTimes({42});
    for (int level = 0; level < 10; ++level)
        markLevel(file, level, 250u << (2 * level));
    const QList<IndexRecord> r = readAll(file);
    QCOMPARE(r.size(), 1);
    QCOMPARE(r[0].startLevel, quint8(10));
    QCOMPARE(r[0].endLevel, quint8(10));
    fclose(file);

    FILE *empty = tmpfile();
    markLevel(empty, 0, 250);
    fseeko(empty, 0, SEEK_END);
    QCOMPARE(ftello(empty), qint64(0));
    fclose(empty);
}

void tst_IndexRecord::markAllLevelsMatchesGaps_data()
{
    QTest::addColumn<Times>("times");

    QRandomGenerator rng(7);
    for (int run = 0; run < 6; ++run) {
        Times times;
        quint32 t = rng.bounded(1000);
        for (int i = 0; i < 3000; ++i) {
            // Mostly speech-like 20-100 ms steps, with pauses of every order.
            const int kind = rng.bounded(100);
            t += kind < 85 ? rng.bounded(20, 120) : kind < 97 ? rng.bounded(2000, 70000) : rng.bounded(1000000, 70000000);
            times.append(t);
        }
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(run))) << times;
    }
    QTest::newRow("equal times") << Times{5, 5, 5, 5};
    QTest::newRow("time wraps (unsigned gap)") << Times{4294967000u, 10, 20};
    QTest::newRow("single frame") << Times{42};
    QTest::newRow("two frames a day apart") << Times{0, 86400000};
    QTest::newRow("gaps equal to the thresholds") << Times{0, 250, 1250, 5250, 21250, 21501, 85502};
    // Slices carry their last record over: pauses right at and beside a
    // slice's edge, and a file that ends one record into a slice.
    const int slice = LevelMarking::kRecordsPerSlice;
    Times acrossSlices;
    quint32 t = 0;
    for (int i = 0; i <= 2 * slice; ++i) {
        const bool atEdge = i == slice || i == slice - 1 || i == 2 * slice;
        t += atEdge ? 70000 + quint32(i % 3) * 5000000 : 20;
        acrossSlices.append(t);
    }
    QTest::newRow("across slices") << acrossSlices;
}

void tst_IndexRecord::markAllLevelsMatchesGaps()
{
    QFETCH(Times, times);
    QList<int> thresholds;
    for (int k = 0; k < 10; ++k)
        thresholds.append(250 << (2 * k));
    // Level by level on the file, and all levels at once slice by slice.
    for (bool atOnce : {false, true}) {
        FILE *file = indexWithTimes(times);
        if (atOnce) {
            markLevels(file, thresholds);
        } else {
            for (int level = 0; level < thresholds.size(); ++level)
                markLevel(file, level, quint32(thresholds.at(level)));
        }
        const QList<IndexRecord> r = readAll(file);
        QCOMPARE(r.size(), times.size());
        for (int i = 0; i < r.size(); ++i) {
            const auto levels = expectedLevels(times, i, thresholds);
            if (r[i].startLevel != levels.first || r[i].endLevel != levels.second)
                QFAIL(qPrintable(QStringLiteral("%6: record %1: got %2/%3, expected %4/%5")
                                     .arg(i).arg(r[i].startLevel).arg(r[i].endLevel)
                                     .arg(levels.first).arg(levels.second)
                                     .arg(atOnce ? "at once" : "level by level")));
        }
        fclose(file);
    }
}

void tst_IndexRecord::findLevel_data()
{
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("result");
    QTest::addColumn<quint32>("time");

    // Times 0,100 | 5000,5100 | 20000 marked with 250 and 1000 ms: every
    // boundary is a level-1 boundary (value 2).
    QTest::newRow("backward to interval start") << false << 1 << 255 << qint64(20) << qint64(0) << quint32(0);
    QTest::newRow("backward mid-record offset") << false << 1 << 255 << qint64(59) << qint64(40) << quint32(5000);
    QTest::newRow("backward end level") << false << 255 << 1 << qint64(40) << qint64(20) << quint32(100);
    QTest::newRow("backward nothing") << false << 255 << 255 << qint64(60) << qint64(-20) << quint32(0);
    QTest::newRow("forward next start") << true << 1 << 255 << qint64(20) << qint64(40) << quint32(5000);
    QTest::newRow("forward end") << true << 255 << 2 << qint64(0) << qint64(20) << quint32(100);
    QTest::newRow("forward nothing") << true << 255 << 255 << qint64(0) << qint64(100) << quint32(20000);
    QTest::newRow("forward past end") << true << 1 << 1 << qint64(400) << qint64(400) << quint32(77);
}

void tst_IndexRecord::findLevel()
{
    QFETCH(bool, forward);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(qint64, from);
    QFETCH(qint64, result);
    QFETCH(quint32, time);
    FILE *file = indexWithTimes({0, 100, 5000, 5100, 20000});
    markLevel(file, 0, 250);
    markLevel(file, 1, 1000);
    IndexRecord r;
    r.time = 77;
    const qint64 got = forward ? findLevelForward(file, a, b, from, &r) : findLevelBackward(file, a, b, from, &r);
    QCOMPARE(got, result);
    QCOMPARE(r.time, time);
    fclose(file);
}

void tst_IndexRecord::validateRecord_data()
{
    QTest::addColumn<bool>("escapeEverything");
    QTest::addColumn<int>("frame");
    QTest::addColumn<qint32>("stream");
    QTest::addColumn<bool>("valid");

    // Frames: 0 text section, 1 data of stream 4, 2 data of stream 5 with payload 0xFF 0xAB.
    QTest::newRow("data frame of its stream") << false << 1 << 4 << true;
    QTest::newRow("other stream number") << false << 1 << 5 << false;
    QTest::newRow("text frame") << false << 0 << 1 << false;
    QTest::newRow("after stuffed payload") << false << 2 << 5 << true;
    QTest::newRow("escaped type byte") << true << 2 << 5 << true;
    QTest::newRow("beyond the file") << false << 99 << 5 << false;
}

void tst_IndexRecord::validateRecord()
{
    QFETCH(bool, escapeEverything);
    QFETCH(int, frame);
    QFETCH(qint32, stream);
    QFETCH(bool, valid);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RecordingWriter writer(&buffer);
    writer.setEscapeEverything(escapeEverything);
    QList<quint32> offsets; // stored offset of each frame's first byte after the marker
    offsets.append(quint32(writer.storedSize() + 1));
    writer.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QStringLiteral("4")}});
    offsets.append(quint32(writer.storedSize() + 1));
    writer.writeDataFrame(10, 4, QByteArray("\xFF\xAB\x01", 3));
    offsets.append(quint32(writer.storedSize() + 1));
    writer.writeDataFrame(20, 5, QByteArray("\xFF\xAB\x02", 3));
    buffer.close();

    FILE *raw = tmpfile();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), raw);
    IndexRecord r;
    r.offset = frame < offsets.size() ? offsets.at(frame) : 100000u;
    r.stream = stream;
    QCOMPARE(::validateRecord(raw, r), valid);
    if (valid)
        QCOMPARE(readByte(raw), 0xFF); // positioned at the first payload byte
    fclose(raw);
}

QTEST_APPLESS_MAIN(tst_IndexRecord)
#include "tst_indexrecord.moc"
