#include "recording/rawblockreader.h"
#include "recording/rawstream.h"
#include "recording/recordingwriter.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>

// Reads from an in-memory FILE over the stored bytes.
class MemoryFile
{
public:
    explicit MemoryFile(const QByteArray &stored)
        : m_bytes(stored)
        , m_file(fmemopen(m_bytes.isEmpty() ? m_empty : m_bytes.data(), size_t(m_bytes.size()), "rb"))
    {
    }
    ~MemoryFile() { fclose(m_file); }
    FILE *get() const { return m_file; }

private:
    QByteArray m_bytes;
    char m_empty[1] = {0};
    FILE *m_file;
};

using IntList = QList<int>;

class tst_RawStream : public QObject
{
    Q_OBJECT

private slots:
    void readByte_data();
    void readByte();
    void readString_data();
    void readString();
    void readBytesKeepsNul();
    void skipBytes_data();
    void skipBytes();
    void escapeRoundTrip();
    void blockReaderMatchesByteReader_data();
    void blockReaderMatchesByteReader();
};

void tst_RawStream::readByte_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<IntList>("expected");

    QTest::newRow("plain") << QByteArray("\x01\x02", 2) << IntList{1, 2, -1};
    QTest::newRow("escaped 0xFF is content") << QByteArray("\xAB\x00\x05", 3) << IntList{0xFF, 5, -1};
    QTest::newRow("escaped 0xAB") << QByteArray("\xAB\x54", 2) << IntList{0xAB, -1};
    QTest::newRow("any byte may be escaped") << QByteArray("\xAB\xFD", 2) << IntList{0x02, -1};
    QTest::newRow("marker") << QByteArray("\x07\xFF\x08", 3) << IntList{7, -2, 8, -1};
    QTest::newRow("escape at end of file ends it") << QByteArray("\x09\xAB", 2) << IntList{9, -1, -1};
    QTest::newRow("empty") << QByteArray() << IntList{-1, -1};
    QTest::newRow("nul is content") << QByteArray("\x00", 1) << IntList{0, -1};
}

void tst_RawStream::readByte()
{
    QFETCH(QByteArray, stored);
    QFETCH(IntList, expected);
    MemoryFile file(stored);
    IntList got;
    for (int i = 0; i < expected.size(); ++i)
        got.append(::readByte(file.get()));
    QCOMPARE(got, expected);
}

void tst_RawStream::readString_data()
{
    QTest::addColumn<QByteArray>("logical");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("string");

    QTest::newRow("terminated") << QByteArray("abc\0def", 7) << 128 << 0 << QByteArray("abc");
    QTest::newRow("empty string") << QByteArray("\0x", 2) << 128 << 0 << QByteArray();
    QTest::newRow("cut by end of file") << QByteArray("ab") << 128 << -1 << QByteArray("ab");
    QTest::newRow("maximum reached returns last byte") << QByteArray("abcdef") << 3 << int('c') << QByteArray("abc");
    QTest::newRow("content 0xFF inside") << QByteArray("a\xFF" "b\0", 4) << 128 << 0 << QByteArray("a\xFF" "b");
}

void tst_RawStream::readString()
{
    QFETCH(QByteArray, logical);
    QFETCH(int, maximum);
    QFETCH(int, result);
    QFETCH(QByteArray, string);
    MemoryFile file(RecordingWriter::escape(logical));
    unsigned char buffer[RawFormat::kMaxToken + 1];
    int count = -1;
    QCOMPARE(::readString(file.get(), buffer, maximum, &count), result);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), count), string);
}

void tst_RawStream::readBytesKeepsNul()
{
    MemoryFile file(QByteArray("\x00\x01\x00\xFF\x02", 5));
    unsigned char buffer[8];
    int count = 0;
    QCOMPARE(::readBytes(file.get(), buffer, 8, &count), -2);
    QCOMPARE(count, 3);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 3), QByteArray("\x00\x01\x00", 3));
}

void tst_RawStream::skipBytes_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("next");

    QTest::newRow("zero count") << QByteArray("\x05\x06", 2) << 0 << 0 << 5;
    QTest::newRow("skips escaped as one") << QByteArray("\xAB\x00\x06\x07", 4) << 2 << 6 << 7;
    QTest::newRow("stops at marker") << QByteArray("\x05\xFF\x07", 3) << 5 << -2 << 7;
    QTest::newRow("stops at end") << QByteArray("\x05", 1) << 5 << -1 << -1;
}

void tst_RawStream::skipBytes()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, count);
    QFETCH(int, result);
    QFETCH(int, next);
    MemoryFile file(stored);
    QCOMPARE(::skipBytes(file.get(), count), result);
    QCOMPARE(::readByte(file.get()), next);
}

void tst_RawStream::escapeRoundTrip()
{
    QByteArray logical;
    for (int i = 0; i < 256; ++i)
        logical.append(char(i));
    for (bool everything : {false, true}) {
        const QByteArray stored = RecordingWriter::escape(logical, everything);
        QVERIFY(!stored.contains(char(0xFF)));
        MemoryFile file(stored);
        QByteArray back;
        int c;
        while ((c = ::readByte(file.get())) >= 0)
            back.append(char(c));
        QCOMPARE(c, -1);
        QCOMPARE(back, logical);
    }
}

// The indexer's block reader gives what the byte-wise primitives give, for
// markers and escapes anywhere, block boundaries between an escape and its
// byte included: random stored bytes dense in 0xFF and 0xAB, read with a mix
// of byte reads, header reads, string reads and frame skips.
void tst_RawStream::blockReaderMatchesByteReader_data()
{
    QTest::addColumn<int>("blockBytes");
    for (int size : {1, 2, 3, 7, 16, 17, 63, 64, 65, 1000})
        QTest::newRow(qPrintable(QStringLiteral("block of %1").arg(size))) << size;
}

void tst_RawStream::blockReaderMatchesByteReader()
{
    QFETCH(int, blockBytes);
    QRandomGenerator rng{quint32(blockBytes)};
    const unsigned char alphabet[] = {0xFF, 0xAB, 0x00, 0x54, 0x01, 0x7F};
    for (int round = 0; round < 40; ++round) {
        QByteArray stored(int(rng.bounded(2000)), '\0');
        for (char &c : stored) {
            // Long runs of plain bytes (the vector path) between special ones.
            c = rng.bounded(8) == 0 ? char(alphabet[rng.bounded(6)]) : char(0x10 + rng.bounded(0x40));
        }
        MemoryFile expected(stored);
        MemoryFile actual(stored);
        RawBlockReader reader{size_t(blockBytes)};
        reader.attach(actual.get());
        for (int op = 0; ; ++op) {
            int want = 0;
            int got = 0;
            switch (rng.bounded(4)) {
            case 0:
                want = ::readByte(expected.get());
                got = reader.readByte();
                break;
            case 1: {
                unsigned char a[5], b[5];
                int na = 0, nb = 0;
                want = ::readBytes(expected.get(), a, 5, &na);
                got = reader.readBytes(b, 5, &nb);
                QCOMPARE(nb, na);
                QCOMPARE(QByteArray(reinterpret_cast<char *>(b), nb), QByteArray(reinterpret_cast<char *>(a), na));
                break;
            }
            case 2: {
                unsigned char a[9], b[9];
                int na = 0, nb = 0;
                want = ::readString(expected.get(), a, 9, &na);
                got = reader.readString(b, 9, &nb);
                QCOMPARE(QByteArray(reinterpret_cast<char *>(b), nb), QByteArray(reinterpret_cast<char *>(a), na));
                break;
            }
            default: {
                quint64 length = 0;
                while ((want = ::readByte(expected.get())) >= 0)
                    ++length;
                quint64 counted = 0;
                got = reader.skipFrame(&counted);
                QCOMPARE(counted, length);
                break;
            }
            }
            QCOMPARE(got, want);
            QCOMPARE(reader.position(), qint64(ftello(expected.get())));
            if (want == RawFormat::kEndOfFile)
                break;
        }
    }
}

QTEST_APPLESS_MAIN(tst_RawStream)
#include "tst_rawstream.moc"
