#include "player/engine/framestreamhandles.h"
#include "testsupport/testrecording.h"

#include <QtTest>

using namespace TestRecordingData;

namespace {
const QString kText = QStringLiteral("text");
}

class tst_TextStreamHandle : public QObject
{
    Q_OBJECT

private slots:
    void readsFramesOfItsStreamInOrder();
    void readDataConvertsPayload_data();
    void readDataConvertsPayload();
    void longTextIsReadWhole();
    void readDataNeedsARecord();
    void seekFindsRecordInForce_data();
    void seekFindsRecordInForce();
    void openFails_data();
    void openFails();
    void staleRecordFailsAndNextContinues();
};

// Text frames of stream 2 between audio frames of stream 1, a gap across
// midnight (times past 24 h after the base).
void tst_TextStreamHandle::readsFramesOfItsStreamInOrder()
{
    TestRecording recording;
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Канал 1"));
    recording.addStream(2, kText, QStringLiteral("Windows-1251"), QStringLiteral("События"));
    recording.text(50, 2, QStringLiteral("Вызов"));
    recording.frame(50, 1, alaw(80));
    recording.text(60000, 2, QStringLiteral("Сброс"));
    recording.frame(86400000 + 30000, 1, alaw(80));
    recording.text(86400000 + 60000, 2, QStringLiteral("После полуночи"));
    TextStreamHandle reader(recording.index().at(1));
    QCOMPARE(reader.open(), 0);
    QCOMPARE(reader.state(), int(StreamHandle::Open));
    QCOMPARE(reader.currentTime(), IndexFormat::kNoTime);
    QStringList texts;
    QList<double> times;
    while (reader.next() == 0 && reader.state() == StreamHandle::OnRecord) {
        times.append(reader.currentTime());
        QCOMPARE(reader.readData(), 0);
        QCOMPARE(reader.state(), int(StreamHandle::Open));
        texts.append(QString::fromUtf8(reader.output()));
    }
    QCOMPARE(texts, QStringList({QStringLiteral("Вызов"), QStringLiteral("Сброс"), QStringLiteral("После полуночи")}));
    QCOMPARE(times, QList<double>({50, 60000, 86460000}));
    QCOMPARE(reader.state(), int(StreamHandle::AtEnd));
    QCOMPARE(reader.currentTime(), IndexFormat::kNoTime);
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.progress(), 1.0);
}

void tst_TextStreamHandle::readDataConvertsPayload_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");
    QTest::newRow("NUL bytes dropped") << "" << QByteArray("A\0B", 3) << "AB";
    QTest::newRow("Windows-1251") << "Windows-1251" << QByteArray("\xcf\xf0\xe8\xe5\xec") << "Прием";
    QTest::newRow("no codec: bytes as they are") << "" << QByteArray("\xd0\x9f") << "П";
    QTest::newRow("unknown codec: bytes as they are") << "KOI-9" << QByteArray("abc") << "abc";
    QTest::newRow("marker and escape bytes in the text") << "Windows-1251" << QByteArray("\xff\xab") << "я«";
    QTest::newRow("empty payload") << "" << QByteArray() << "";
}

void tst_TextStreamHandle::readDataConvertsPayload()
{
    QFETCH(QString, encoding);
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    TestRecording recording;
    recording.addStream(4, kText, encoding, QStringLiteral("t"));
    recording.frame(10, 4, payload);
    recording.frame(20, 4, "next");
    TextStreamHandle reader(recording.index().first());
    QCOMPARE(reader.open(), 0);
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(QString::fromUtf8(reader.output()), text);
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(reader.output(), QByteArray("next"));
}

void tst_TextStreamHandle::longTextIsReadWhole()
{
    TestRecording recording;
    recording.addStream(1, kText, QString(), QStringLiteral("t"));
    QByteArray longText;
    for (int i = 0; i < 300; ++i)
        longText += "word" + QByteArray::number(i) + ' ';
    recording.frame(0, 1, longText);
    TextStreamHandle reader(recording.index().first());
    reader.open();
    reader.next();
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(reader.output(), longText);
}

void tst_TextStreamHandle::readDataNeedsARecord()
{
    TestRecording recording;
    recording.addStream(1, kText, QString(), QStringLiteral("t"));
    recording.frame(0, 1, "a");
    TextStreamHandle reader(recording.index().first());
    QCOMPARE(reader.readData(), 1);
    reader.open();
    QCOMPARE(reader.readData(), 1);
    reader.next();
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(reader.readData(), 1); // read once; next() comes first
    QCOMPARE(reader.output(), QByteArray("a"));
}

void tst_TextStreamHandle::seekFindsRecordInForce_data()
{
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("expected");
    QTest::newRow("before the first frame") << 0.0 << 100.0;
    QTest::newRow("on a frame") << 200.0 << 200.0;
    QTest::newRow("between frames") << 250.0 << 200.0;
    QTest::newRow("after the last frame") << 1e9 << 300.0;
}

void tst_TextStreamHandle::seekFindsRecordInForce()
{
    QFETCH(double, t);
    QFETCH(double, expected);
    TestRecording recording;
    recording.addStream(1, kText, QString(), QStringLiteral("t"));
    for (quint32 time : {100u, 200u, 300u})
        recording.frame(time, 1, QByteArray::number(time));
    TextStreamHandle reader(recording.index().first());
    QCOMPARE(reader.seek(t), 0); // closed: nothing happens
    QCOMPARE(reader.state(), int(StreamHandle::Closed));
    reader.open();
    QCOMPARE(reader.seek(t), 0);
    QCOMPARE(reader.currentTime(), expected);
    QCOMPARE(reader.readData(), 0);
    QCOMPARE(reader.output(), QByteArray::number(expected));
}

void tst_TextStreamHandle::openFails_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("ID not a number") << "ID" << "x1";
    QTest::newRow("ID missing") << "ID" << "";
    QTest::newRow("raw file missing") << "FILENAME" << "/nonexistent/rec";
    QTest::newRow("no index file") << "INDEX_FILENAME" << "";
}

void tst_TextStreamHandle::openFails()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    TestRecording recording;
    recording.addStream(1, kText, QString(), QStringLiteral("t"));
    recording.frame(0, 1, "a");
    StreamDescriptor descriptor = recording.index().first();
    descriptor.insert(key, value);
    TextStreamHandle reader(descriptor);
    QCOMPARE(reader.open(), 1);
    QCOMPARE(reader.state(), int(StreamHandle::Closed));
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.state(), int(StreamHandle::Closed));
    QCOMPARE(reader.readData(), 1);
}

// A record whose frame in the raw file is not what the index says: next()
// reports it and the following call goes on after it.
void tst_TextStreamHandle::staleRecordFailsAndNextContinues()
{
    TestRecording recording;
    recording.addStream(1, kText, QString(), QStringLiteral("t"));
    recording.frame(0, 1, "first");
    recording.frame(10, 1, "second");
    recording.frame(20, 1, "third");
    const StreamDescriptor descriptor = recording.index().first();
    // Damage the second frame's stream byte in the raw file.
    IndexRecord second;
    FILE *index = fopen(qPrintable(descriptor.value(QStringLiteral("INDEX_FILENAME"))), "rb");
    QVERIFY(index && readRecordAt(index, IndexFormat::kRecordSize, &second));
    fclose(index);
    QFile raw(recording.path());
    QVERIFY(raw.open(QIODevice::ReadWrite));
    raw.seek(second.offset + 5);
    raw.write("\x07", 1);
    raw.close();

    TextStreamHandle reader(descriptor);
    reader.open();
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.next(), 1);
    QCOMPARE(reader.state(), int(StreamHandle::Open));
    QCOMPARE(reader.readData(), 1);
    QCOMPARE(reader.next(), 0);
    QCOMPARE(reader.currentTime(), 20.0);
}

QTEST_GUILESS_MAIN(tst_TextStreamHandle)
#include "tst_textstreamhandle.moc"
