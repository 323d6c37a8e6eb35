#include "recording/indexcache.h"
#include "recording/recordingindexer.h"
#include "recording/recordingwriter.h"
#include "testsupport/testfiles.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QTextCodec>
#include <QtTest>

namespace {

const QString kStream = QStringLiteral("STREAM");

QString writeRecording(const QString &path, bool withCodec, bool withStreams)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    RecordingWriter writer(&file);
    QTextCodec *cp1251 = QTextCodec::codecForName("Windows-1251");
    RecordingWriter::Pairs filePairs{{QStringLiteral("DATETIME"), QStringLiteral("01.02.2024 10:00:00")}};
    if (withCodec)
        filePairs.append({QStringLiteral("ENCODING"), QStringLiteral("Windows-1251")});
    writer.writeSection(QStringLiteral("FILE"), filePairs);
    writer.writeSection(QStringLiteral("NOTE"), {{QStringLiteral("N"), QStringLiteral("первая")}}, withCodec ? cp1251 : nullptr);
    writer.writeSection(QStringLiteral("NOTE"), {{QStringLiteral("N"), QStringLiteral("вторая")}}, withCodec ? cp1251 : nullptr);
    if (withStreams) {
        writer.writeSection(kStream, {{QStringLiteral("ID"), QStringLiteral("3")}, {QStringLiteral("TYPE"), QStringLiteral("audio")}},
                            withCodec ? cp1251 : nullptr);
        writer.writeSection(kStream, {{QStringLiteral("ID"), QStringLiteral("1")}, {QStringLiteral("TYPE"), QStringLiteral("text")}},
                            withCodec ? cp1251 : nullptr);
        for (quint32 t = 0; t < 20; ++t)
            writer.writeDataFrame(t * 100, quint8(t % 2 ? 1 : 3), QByteArray(int(t), 'x'));
    }
    file.close();
    return path;
}

void indexFully(RecordingIndexer &indexer, const QString &path)
{
    indexer.setWriteIndexFiles(false);
    indexer.open(path);
    indexer.start();
    while (indexer.state() != RecordingIndexer::Idle)
        indexer.step();
    indexer.closeFiles();
}

} // namespace

class tst_IndexCache : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void layoutIsStandardDataStream();
    void rejectsDamagedCaches_data();
    void rejectsDamagedCaches();
    void names();
};

void tst_IndexCache::roundTrip_data()
{
    QTest::addColumn<bool>("withCodec");
    QTest::addColumn<bool>("withStreams");
    QTest::newRow("codec and streams") << true << true;
    QTest::newRow("no codec in force") << false << true;
    QTest::newRow("no streams") << true << false;
}

void tst_IndexCache::roundTrip()
{
    QFETCH(bool, withCodec);
    QFETCH(bool, withStreams);
    TempDir dir;
    const QString recording = writeRecording(dir.filePath(QStringLiteral("a.rec")), withCodec, withStreams);
    RecordingIndexer original;
    indexFully(original, recording);
    QVERIFY(saveCache(original, cachePathFor(recording)));

    RecordingIndexer loaded;
    QVERIFY(loadCache(loaded, cachePathFor(recording)));
    QCOMPARE(loaded.state(), int(RecordingIndexer::Idle));
    QCOMPARE(loaded.fileName(), recording);
    QCOMPARE(loaded.fileSize(), QFileInfo(recording).size());
    QCOMPARE(loaded.indexPrefix(), original.indexPrefix());
    QCOMPARE(loaded.writeIndexFiles(), false);
    QCOMPARE(loaded.textCodec() != nullptr, withCodec);
    // Sections sharing a name keep their reading order.
    const auto notes = loaded.sections().values(QStringLiteral("NOTE"));
    QCOMPARE(notes.size(), 2);
    QCOMPARE(notes.at(0).value(QStringLiteral("N")), QStringLiteral("вторая"));
    QCOMPARE(notes.at(1).value(QStringLiteral("N")), QStringLiteral("первая"));
    QCOMPARE(loaded.sections(), original.sections());
    QCOMPARE(loaded.streamCount(), withStreams ? 2 : 0);
    for (int i = 0; i < loaded.streamCount(); ++i) {
        int f1 = 0, t1 = 0, f2 = 0, t2 = 0;
        QCOMPARE(loaded.descriptor(i, &f1, &t1), original.descriptor(i, &f2, &t2));
        QCOMPARE(f1, f2);
        QCOMPARE(t1, t2);
        QCOMPARE(loaded.streams().at(i)->id, original.streams().at(i)->id);
        QVERIFY(!loaded.streams().at(i)->indexFile);
    }
    if (withStreams) {
        int frames = 0, total = 0;
        loaded.descriptorById(3, &frames, &total);
        QCOMPARE(frames, 10);
        QCOMPARE(total, 10 * 6 + (0 + 2 + 4 + 6 + 8 + 10 + 12 + 14 + 16 + 18));
    }
}

void tst_IndexCache::layoutIsStandardDataStream()
{
    TempDir dir;
    const QString recording = writeRecording(dir.filePath(QStringLiteral("b.rec")), true, true);
    RecordingIndexer indexer;
    indexFully(indexer, recording);
    const QString cache = cachePathFor(recording);
    QVERIFY(saveCache(indexer, cache));

    QFile file(cache);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDataStream in(&file);
    QMap<QString, QMap<QString, QString>> sections;
    QByteArray codec, token;
    QString fileName, prefix;
    qint32 fileSize, count, id, frames, total, stream, offset, length, time, tokenCount;
    QMap<QString, QString> descriptor;
    bool writeIndexFiles = true;
    in >> sections >> codec >> fileName >> fileSize >> prefix >> count;
    QCOMPARE(sections.size(), 5);
    QCOMPARE(codec.toLower(), QByteArray("windows-1251"));
    QCOMPARE(fileName, recording);
    QCOMPARE(fileSize, qint32(QFileInfo(recording).size()));
    QCOMPARE(count, 2);
    in >> id >> descriptor >> frames >> total;
    QCOMPARE(id, 3);
    QCOMPARE(descriptor.value(QStringLiteral("FILENAME")), recording);
    QCOMPARE(frames, 10);
    in >> id >> descriptor >> frames >> total;
    QCOMPARE(id, 1);
    in >> stream >> offset >> length >> time >> tokenCount >> token >> writeIndexFiles;
    QCOMPARE(stream, -1);
    QCOMPARE(token.size(), 128);
    QCOMPARE(writeIndexFiles, false);
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
}

void tst_IndexCache::rejectsDamagedCaches_data()
{
    QTest::addColumn<QByteArray>("bytes");

    TempDir dir;
    const QString recording = writeRecording(dir.filePath(QStringLiteral("c.rec")), true, true);
    RecordingIndexer indexer;
    indexFully(indexer, recording);
    QVERIFY(saveCache(indexer, cachePathFor(recording)));
    const QByteArray good = readFile(cachePathFor(recording));

    QTest::newRow("empty") << QByteArray();
    for (int cut : {3, 40, good.size() / 2, good.size() - 1})
        QTest::newRow(qPrintable(QStringLiteral("truncated at %1").arg(cut))) << good.left(cut);

    auto build = [](qint32 streamCount, qint32 tokenCount) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << QMap<QString, QMap<QString, QString>>() << QByteArray() << QString() << qint32(0) << QString();
        out << streamCount;
        out << qint32(-1) << qint32(0) << qint32(0) << qint32(0) << tokenCount << QByteArray(128, '\0') << true;
        return bytes;
    };
    QTest::newRow("2^31-1 streams") << build(0x7FFFFFFF, 0);
    QTest::newRow("negative stream count") << build(-5, 0);
    QTest::newRow("token count too large") << build(0, 500);
    QTest::newRow("negative token count") << build(0, -1);
    QByteArray hugeSections;
    QDataStream out(&hugeSections, QIODevice::WriteOnly);
    out << quint32(0x80000000u);
    QTest::newRow("2^31 sections") << hugeSections;
}

void tst_IndexCache::rejectsDamagedCaches()
{
    QFETCH(QByteArray, bytes);
    TempDir dir;
    const QString recording = writeRecording(dir.filePath(QStringLiteral("keep.rec")), false, true);
    RecordingIndexer indexer;
    indexFully(indexer, recording);
    const int streams = indexer.streamCount();

    const QString damaged = dir.filePath(QStringLiteral("bad.rec.IND"));
    QVERIFY(writeFile(damaged, bytes));
    QVERIFY(!loadCache(indexer, damaged));
    // A failed load leaves the indexer as it was.
    QCOMPARE(indexer.streamCount(), streams);
    QCOMPARE(indexer.fileName(), recording);
    QVERIFY(!loadCache(indexer, dir.filePath(QStringLiteral("missing.IND"))));
    QVERIFY(!loadCache(indexer, dir.path()));
}

void tst_IndexCache::names()
{
    QCOMPARE(cachePathFor(QStringLiteral("/a/b.rec")), QStringLiteral("/a/b.rec.IND"));
    QVERIFY(isCacheFileName(QStringLiteral("x.rec.IND")));
    QVERIFY(isCacheFileName(QStringLiteral("x.IND.old")));
    QVERIFY(!isCacheFileName(QStringLiteral("x.ind")));
    RecordingIndexer indexer;
    QVERIFY(!saveCache(indexer, QString())); // nothing written, no crash
    QVERIFY(!saveCache(indexer, QStringLiteral("/nonexistent/dir/x.IND")));
}

QTEST_GUILESS_MAIN(tst_IndexCache)
#include "tst_indexcache.moc"
