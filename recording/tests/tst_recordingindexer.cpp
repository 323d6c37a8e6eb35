#include "recording/indexcache.h"
#include "recording/recordingindexer.h"
#include "recording/recordingwriter.h"
#include "testsupport/testrecording.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTextCodec>
#include <QtTest>

#include <unistd.h>

namespace {

const QString kId = QStringLiteral("ID");
const QString kStream = QStringLiteral("STREAM");

RecordingWriter::Pairs stream(int id, const QString &type = QStringLiteral("audio"))
{
    return {{kId, QString::number(id)}, {QStringLiteral("TYPE"), type},
            {QStringLiteral("ENCODING"), QStringLiteral("PCMA")},
            {QStringLiteral("DESCRIPTION"), QStringLiteral("channel %1").arg(id)}};
}

// Runs the indexer to its end; fails the test on a hang.
bool runToEnd(RecordingIndexer &indexer, int maxSteps = 1000000)
{
    for (int i = 0; i < maxSteps; ++i) {
        if (indexer.state() == RecordingIndexer::Idle)
            return true;
        indexer.step();
    }
    return false;
}

QList<IndexRecord> records(const QString &indexPath)
{
    QList<IndexRecord> result;
    FILE *file = fopen(indexPath.toLocal8Bit().constData(), "rb");
    if (!file)
        return result;
    IndexRecord r;
    while (readRecord(file, &r))
        result.append(r);
    fclose(file);
    return result;
}

} // namespace

class tst_RecordingIndexer : public QObject
{
    Q_OBJECT

private slots:
    void indexesStreamsAndFrames();
    void recordsValidateInRawFile_data();
    void recordsValidateInRawFile();
    void textCodecAppliesToLaterSections();
    void oddFrames_data();
    void oddFrames();
    void oddFiles_data();
    void oddFiles();
    void startResults();
    void withoutIndexFiles();
    void indexFilesLiveInPrivateFolder();
    void progressOfLargeFile();
    void textBudget_data();
    void textBudget();
    void indexFilesOnlyForStreamsWithFrames();
    void frameBeyondFourGiB();
};

void tst_RecordingIndexer::indexesStreamsAndFrames()
{
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().writeDataFrame(5, 1, "early"); // before any STREAM: skipped
    rec.writer().writeSection(QStringLiteral("file"), {{QStringLiteral("DATETIME"), QStringLiteral("05.03.2013 14:22:07")}});
    rec.writer().writeSection(kStream, stream(1));
    rec.writer().writeSection(kStream, stream(2));
    rec.writer().writeDataFrame(100, 1, QByteArray(10, 'a'));
    rec.writer().writeDataFrame(150, 2, QByteArray(3, 'b'));
    rec.writer().writeDataFrame(160, 9, QByteArray(3, 'c'));   // undeclared
    rec.writer().writeDataFrame(170, 0x80, QByteArray(3, 'd')); // negative stream number
    rec.writer().writeDataFrame(200, 1, QByteArray("\xFF\xAB", 2));
    const QString path = rec.finish();

    RecordingIndexer indexer;
    QVERIFY(indexer.open(path));
    QCOMPARE(indexer.start(), 0);
    QVERIFY(runToEnd(indexer));
    QCOMPARE(indexer.progress(), 1.0);
    QCOMPARE(indexer.streamCount(), 2);

    int frames = 0, total = 0;
    const StreamDescriptor d1 = indexer.descriptorById(1, &frames, &total);
    QCOMPARE(frames, 2);
    QCOMPARE(total, 16 + 8);
    QCOMPARE(d1.value(QStringLiteral("FILENAME")), path);
    QCOMPARE(d1.value(QStringLiteral("DESCRIPTION")), QStringLiteral("channel 1"));
    QVERIFY(d1.value(QStringLiteral("INDEX_FILENAME")).endsWith(indexer.indexPrefix() + QLatin1Char('0')));
    QVERIFY(indexer.descriptor(1).value(QStringLiteral("INDEX_FILENAME")).endsWith(indexer.indexPrefix() + QLatin1Char('1')));
    QVERIFY(indexer.descriptor(2).isEmpty());
    QVERIFY(!indexer.findStream(9));

    // The copy in the sections map has no indexer keys; names are upper case.
    QCOMPARE(indexer.sections().count(kStream), 2);
    QVERIFY(!indexer.sections().value(kStream).contains(QStringLiteral("FILENAME")));
    QVERIFY(indexer.sections().contains(QStringLiteral("FILE")));
    QCOMPARE(indexer.sectionsInReadingOrder().size(), 3);
    QCOMPARE(indexer.sectionsInReadingOrder().at(1).second.value(kId), QStringLiteral("1"));

    QCOMPARE(indexer.firstRecord(0).time, quint32(100));
    QCOMPARE(indexer.firstRecord(0, 1).time, quint32(200));
    QCOMPARE(indexer.firstRecord(0, 2).stream, -1);
    QCOMPARE(indexer.lastRecord(1).time, quint32(150));
    QCOMPARE(indexer.lastRecord(7).stream, -1);

    indexer.markAllLevels({250, 1000});
    const QString index0 = d1.value(QStringLiteral("INDEX_FILENAME"));
    indexer.closeFiles();
    const QList<IndexRecord> r = records(index0);
    QCOMPARE(r.size(), 2);
    QCOMPARE(r[0].length, quint32(16));
    QCOMPARE(r[0].stream, 1);
    QCOMPARE(r[0].startLevel, quint8(2));
    QCOMPARE(r[1].endLevel, quint8(2));
    QCOMPARE(indexer.streams().at(0)->levels, QList<int>({250, 1000}));

    QCOMPARE(indexer.removeIndexFiles(), 2);
    QVERIFY(!QFile::exists(index0));
    QCOMPARE(indexer.streamCount(), 0);
}

void tst_RecordingIndexer::recordsValidateInRawFile_data()
{
    QTest::addColumn<bool>("escapeEverything");
    QTest::newRow("plain stuffing") << false;
    QTest::newRow("every byte escaped") << true;
}

void tst_RecordingIndexer::recordsValidateInRawFile()
{
    QFETCH(bool, escapeEverything);
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().setEscapeEverything(escapeEverything);
    rec.writer().writeSection(kStream, stream(3));
    for (quint32 t = 0; t < 50; ++t)
        rec.writer().writeDataFrame(t * 20, 3, QByteArray(int(t % 7), char(0xFF - t)));
    const QString path = rec.finish();

    RecordingIndexer indexer;
    indexer.open(path);
    QCOMPARE(indexer.start(), 0);
    QVERIFY(runToEnd(indexer));
    const QString indexPath = indexer.descriptor(0).value(QStringLiteral("INDEX_FILENAME"));
    indexer.closeFiles();
    const QList<IndexRecord> r = records(indexPath);
    QCOMPARE(r.size(), 50);
    FILE *raw = fopen(QFile::encodeName(path).constData(), "rb");
    for (int i = 0; i < r.size(); ++i) {
        QVERIFY2(validateRecord(raw, r[i]), qPrintable(QString::number(i)));
        QCOMPARE(r[i].length, quint32(6 + i % 7));
        QCOMPARE(r[i].time, quint32(i * 20));
    }
    fclose(raw);
}

void tst_RecordingIndexer::textCodecAppliesToLaterSections()
{
    QTextCodec *cp1251 = QTextCodec::codecForName("Windows-1251");
    QVERIFY(cp1251);
    const QString russian = QStringLiteral("Диспетчер");
    TestRecording rec(TestRecording::Start::Empty);
    // The FILE section's own values are UTF-8.
    rec.writer().writeSection(QStringLiteral("FILE"), {{QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")},
                                                       {QStringLiteral("NOTE"), russian}});
    rec.writer().writeSection(QStringLiteral("DEVICE"), {{QStringLiteral("NAME"), russian}}, cp1251);
    rec.writer().writeSection(QStringLiteral("ONLINE"), {{QStringLiteral("ENCODING"), QStringLiteral("no-such-codec")}}, cp1251);
    rec.writer().writeSection(QStringLiteral("DEVICE"), {{QStringLiteral("NAME"), russian}});
    const QString path = rec.finish();

    RecordingIndexer indexer;
    indexer.open(path);
    indexer.start();
    QVERIFY(runToEnd(indexer));
    QCOMPARE(indexer.sections().value(QStringLiteral("FILE")).value(QStringLiteral("NOTE")), russian);
    const QList<QMap<QString, QString>> devices = indexer.sections().values(QStringLiteral("DEVICE"));
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices.at(1).value(QStringLiteral("NAME")), russian); // first read: Windows-1251
    QCOMPARE(devices.at(0).value(QStringLiteral("NAME")), russian); // read last: UTF-8 again
    QVERIFY(!indexer.textCodec());
}

// Each row is a recording body after one declared stream 1; the expected
// frame count and total length of stream 1 and the section count.
void tst_RecordingIndexer::oddFrames_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("sectionCount");

    const QByteArray frame("\xFF\x02\x0A\x00\x00\x00\x01xy", 9);
    QTest::newRow("one frame") << frame << 1 << 8 << 1;
    QTest::newRow("empty frames between") << QByteArray("\xFF\xFF\xFF") + frame << 1 << 8 << 1;
    QTest::newRow("header cut by marker") << QByteArray("\xFF\x02\x0A\x00\xFF", 5) + frame << 1 << 8 << 1;
    QTest::newRow("header cut by end") << frame + QByteArray("\xFF\x02\x0A\x00\x00\x00", 6) << 1 << 8 << 1;
    QTest::newRow("header only") << QByteArray("\xFF\x02\x0A\x00\x00\x00\x01", 7) << 1 << 6 << 1;
    QTest::newRow("unknown frame type") << QByteArray("\xFF\x07\x01\x02\x03", 5) + frame << 1 << 8 << 1;
    QTest::newRow("escape at end") << frame + QByteArray("\xAB", 1) << 1 << 8 << 1;
    QTest::newRow("section without pairs") << QByteArray("\xFF\x01NOTE\0", 7) + frame << 1 << 8 << 2;
    QTest::newRow("key without value ends section")
        << QByteArray("\xFF\x01NOTE\0KEY\0", 11) + frame << 1 << 8 << 2;
    QTest::newRow("section cut by end of file") << QByteArray("\xFF\x01NOTE\0KEY\0VAL", 14) << 0 << 0 << 2;
    QTest::newRow("section of empty strings") << QByteArray("\xFF\x01\0\0\0", 5) + frame << 1 << 8 << 1;
    QTest::newRow("long key") << QByteArray("\xFF\x01NOTE\0", 7) + QByteArray(300, 'k') + QByteArray("\0v\0", 3) + frame
                              << 1 << 8 << 2;
}

void tst_RecordingIndexer::oddFrames()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, frames);
    QFETCH(int, total);
    QFETCH(int, sectionCount);
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().writeSection(kStream, stream(1));
    rec.writer().writeStored(stored);
    RecordingIndexer indexer;
    indexer.open(rec.finish());
    QCOMPARE(indexer.start(), 0);
    QVERIFY(runToEnd(indexer));
    int gotFrames = -1, gotTotal = -1;
    indexer.descriptor(0, &gotFrames, &gotTotal);
    QCOMPARE(gotFrames, frames);
    QCOMPARE(gotTotal, total);
    QCOMPARE(indexer.sections().size(), sectionCount);
}

void tst_RecordingIndexer::oddFiles_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("streams");
    QTest::addColumn<quint32>("firstId");

    QTest::newRow("empty file") << QByteArray() << 0 << 0u;
    QTest::newRow("no leading marker") << QByteArray("\x01STREAM\0ID\0" "5\0\xFF\x02\0\0\0\0\x05", 20) << 1 << 5u;
    QTest::newRow("stream without ID") << QByteArray("\xFF\x01STREAM\0TYPE\0text\0", 19) << 1 << 0u;
    QTest::newRow("stream with text ID") << QByteArray("\xFF\x01STREAM\0ID\0abc\0", 16) << 1 << 0u;
    QTest::newRow("lower-case names") << QByteArray("\xFF\x01stream\0id\0" "7\0", 14) << 1 << 7u;
    QTest::newRow("garbage before marker") << QByteArray("\x09\x09\x09\xFF\x01STREAM\0ID\0" "2\0", 17) << 1 << 2u;
    QByteArray random(1 << 16, '\0');
    QRandomGenerator rng(11);
    for (char &c : random)
        c = char(rng.bounded(256));
    QTest::newRow("random bytes") << random << -1 << 0u;
    QByteArray markers(5000, char(0xFF));
    QTest::newRow("only markers") << markers << 0 << 0u;
    QTest::newRow("only escapes") << QByteArray(5001, char(0xAB)) << 0 << 0u;
}

void tst_RecordingIndexer::oddFiles()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, streams);
    QFETCH(quint32, firstId);
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().writeStored(stored);
    RecordingIndexer indexer;
    indexer.open(rec.finish());
    QCOMPARE(indexer.start(), 0);
    QVERIFY(runToEnd(indexer));
    if (streams >= 0) {
        QCOMPARE(indexer.streamCount(), streams);
        if (streams > 0)
            QCOMPARE(indexer.streams().at(0)->id, firstId);
    }
    indexer.markAllLevels({250, 1000});
    for (int i = 0; i < indexer.streamCount(); ++i)
        QVERIFY(indexer.lastRecord(i).stream == -1 || indexer.lastRecord(i).stream >= 0);
}

void tst_RecordingIndexer::startResults()
{
    RecordingIndexer indexer;
    QVERIFY(!indexer.open(QString()));
    QCOMPARE(indexer.start(), 2);
    QVERIFY(indexer.open(QStringLiteral("/nonexistent/recording.rec")));
    QCOMPARE(indexer.start(), 1);
    QCOMPARE(indexer.state(), int(RecordingIndexer::Idle));
    indexer.step(); // idle: nothing happens
    TempDir dir;
    QVERIFY(indexer.open(dir.path()));
    QCOMPARE(indexer.start(), 1);
    QCOMPARE(indexer.progress(), 0.0);

    TestRecording empty(TestRecording::Start::Empty);
    QVERIFY(indexer.open(empty.finish()));
    QCOMPARE(indexer.start(), 0);
    QCOMPARE(indexer.progress(), 0.0);
    indexer.step();
    QCOMPARE(indexer.state(), int(RecordingIndexer::Idle));
}

void tst_RecordingIndexer::withoutIndexFiles()
{
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().writeSection(kStream, stream(4));
    rec.writer().writeSection(kStream, stream(4)); // duplicate ID: frames go to the first
    rec.writer().writeDataFrame(1, 4, "abcd");
    RecordingIndexer indexer;
    indexer.setWriteIndexFiles(false);
    indexer.open(rec.finish());
    indexer.start();
    QVERIFY(runToEnd(indexer));
    QCOMPARE(indexer.streamCount(), 2);
    int frames = 0, total = 0;
    QVERIFY(!indexer.descriptor(0, &frames, &total).contains(QStringLiteral("INDEX_FILENAME")));
    QCOMPARE(frames, 1);
    QCOMPARE(total, 10);
    indexer.descriptor(1, &frames, &total);
    QCOMPARE(frames, 0);
    QVERIFY(indexer.indexFolder().isEmpty());
    QCOMPARE(indexer.firstRecord(0).stream, -1);
}

void tst_RecordingIndexer::indexFilesLiveInPrivateFolder()
{
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().writeSection(kStream, stream(1));
    rec.writer().writeDataFrame(1, 1, "abcd");
    const QString path = rec.finish();

    // Index files must not depend on a writable current directory.
    const QString savedCwd = QDir::currentPath();
    TempDir readOnly;
    QFile::setPermissions(readOnly.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QDir::setCurrent(readOnly.path());
    QString folder, index;
    {
        RecordingIndexer indexer;
        indexer.open(path);
        indexer.start();
        QVERIFY(runToEnd(indexer));
        folder = indexer.indexFolder();
        index = indexer.descriptor(0).value(QStringLiteral("INDEX_FILENAME"));
        QVERIFY(folder.startsWith(QDir::tempPath()));
        QCOMPARE(QFileInfo(index).path(), folder);
        QCOMPARE(QFileInfo(index).fileName(), indexer.indexPrefix() + QLatin1Char('0'));
        indexer.closeFiles();
        QCOMPARE(QFileInfo(index).size(), qint64(20));
        QCOMPARE(QFileInfo(folder).permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther), 0);

        // Re-indexing drops the old files.
        QCOMPARE(indexer.start(), 0);
        QVERIFY(!QFile::exists(index));
        QVERIFY(runToEnd(indexer));
        index = indexer.descriptor(0).value(QStringLiteral("INDEX_FILENAME"));
        QVERIFY(QFile::exists(index));
        indexer.reset();
        QVERIFY(!QFile::exists(folder));
        indexer.open(path);
        indexer.start();
        QVERIFY(runToEnd(indexer));
        folder = indexer.indexFolder();
        QVERIFY(QFile::exists(folder));
    }
    QVERIFY(!QFile::exists(folder)); // destruction removes the folder
    QDir::setCurrent(savedCwd);
    QFile::setPermissions(readOnly.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void tst_RecordingIndexer::progressOfLargeFile()
{
    // A sparse file beyond 4 GiB: sizes and progress use 64-bit arithmetic.
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("large.rec"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const qint64 size = (qint64(5) << 30) + 7;
    QVERIFY(file.resize(size));
    file.close();
    RecordingIndexer indexer;
    indexer.open(path);
    QCOMPARE(indexer.start(), 0);
    QCOMPARE(indexer.fileSize(), size);
    QCOMPARE(indexer.progress(), 0.0);
}

// Text that would grow memory out of proportion to the file is refused.
void tst_RecordingIndexer::textBudget_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("refused");
    const QByteArray emptySection("\xFF\x01X\0", 4);
    // Items of 4 bytes each: 10 % over the budget is over it whatever the
    // allowance per KiB of file.
    const int budget = int(RecordingIndexer::kBaseTextItems);
    QTest::newRow("empty sections within the budget") << emptySection.repeated(budget / 2) << false;
    QTest::newRow("empty sections beyond the budget") << emptySection.repeated(budget * 11 / 10) << true;
    QByteArray pairs("\xFF\x01STREAM\0", 9);
    pairs += QByteArray("K\0V\0", 4).repeated(budget * 11 / 10);
    QTest::newRow("one section with too many keys") << pairs << true;
}

void tst_RecordingIndexer::textBudget()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, refused);
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().writeStored(stored);
    rec.writer().writeSection(kStream, stream(1));
    RecordingIndexer indexer;
    indexer.open(rec.finish());
    QCOMPARE(indexer.start(), 0);
    QVERIFY(runToEnd(indexer));
    QCOMPARE(!indexer.errorString().isEmpty(), refused);
    if (refused) {
        QVERIFY(indexer.sections().isEmpty());
        QCOMPARE(indexer.streamCount(), 0);
        QVERIFY(indexer.indexFolder().isEmpty() || QDir(indexer.indexFolder()).isEmpty());
    } else {
        QVERIFY(indexer.findStream(1));
    }
}

// Frames reach only the first stream of a number in 0..127: the others get
// no index file, however many of them a recording declares.
void tst_RecordingIndexer::indexFilesOnlyForStreamsWithFrames()
{
    TestRecording rec(TestRecording::Start::Empty);
    for (int copy = 0; copy < 3; ++copy) {
        for (int id = 0; id < 200; ++id)
            rec.writer().writeSection(kStream, stream(id));
    }
    rec.writer().writeDataFrame(10, 127, QByteArray(8, 'a'));
    RecordingIndexer indexer;
    indexer.open(rec.finish());
    indexer.start();
    QVERIFY(runToEnd(indexer));
    QCOMPARE(indexer.streamCount(), 600);
    QCOMPARE(QDir(indexer.indexFolder()).entryList(QDir::Files).size(), 128);
    for (int i = 0; i < indexer.streamCount(); ++i)
        QCOMPARE(indexer.descriptor(i).contains(QStringLiteral("INDEX_FILENAME")), i < 128);
    int frames = 0;
    indexer.descriptorById(127, &frames);
    QCOMPARE(frames, 1);
    QCOMPARE(indexer.firstRecord(127).time, 10u);
}

// A frame past 4 GiB keeps its whole offset (a sparse file: the gap is the
// first frame's payload).
void tst_RecordingIndexer::frameBeyondFourGiB()
{
    TestRecording rec(TestRecording::Start::Empty);
    rec.writer().writeSection(kStream, stream(3));
    rec.writer().writeDataFrame(0, 3, QByteArray(4, 'a'));
    const QString path = rec.finish();
    const qint64 farOffset = (qint64(1) << 32) + 12345;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(farOffset));
        QVERIFY(file.seek(farOffset));
        RecordingWriter writer(&file);
        writer.writeDataFrame(777, 3, QByteArray("far", 3));
    }
    RecordingIndexer indexer;
    indexer.open(path);
    QCOMPARE(indexer.start(), 0);
    QVERIFY(runToEnd(indexer));
    const IndexRecord far = indexer.lastRecord(0);
    QCOMPARE(far.time, 777u);
    QCOMPARE(far.offset, quint64(farOffset + 1)); // the byte after the marker
    FILE *raw = fopen(QFile::encodeName(path).constData(), "rb");
    QVERIFY(raw);
    QVERIFY(validateRecord(raw, far));
    unsigned char payload[3];
    int count = 0;
    readBytes(raw, payload, 3, &count);
    fclose(raw);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(payload), count), QByteArray("far"));
}

QTEST_GUILESS_MAIN(tst_RecordingIndexer)
#include "tst_recordingindexer.moc"
