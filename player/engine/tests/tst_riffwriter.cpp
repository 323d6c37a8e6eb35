#include "player/engine/riffwriter.h"
#include "testsupport/testfiles.h"
#include "testsupport/wavefile.h"

#include <QFile>
#include <QtTest>

class tst_RiffWriter : public QObject
{
    Q_OBJECT

private slots:
    void writesWaveHeaderByteExact_data();
    void writesWaveHeaderByteExact();
    void oddChunkGetsPadByte();
    void chunkDepthIsLimited();
    void nothingIsWrittenWithoutFile();
    void openFailsForMissingFolder();
    void reopenClosesPreviousFile();
};

void tst_RiffWriter::writesWaveHeaderByteExact_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("dataBytes");
    QTest::newRow("8000 Hz, 1000 ms") << 8000 << 16000;
    QTest::newRow("16000 Hz, empty") << 16000 << 0;
    QTest::newRow("11025 Hz, one sample") << 11025 << 2;
}

void tst_RiffWriter::writesWaveHeaderByteExact()
{
    QFETCH(int, rate);
    QFETCH(int, dataBytes);
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("out.wav"));
    RiffWriter writer;
    QCOMPARE(writer.open(QFile::encodeName(path)), 0);
    QCOMPARE(writer.beginChunk("RIFF"), 0);
    QCOMPARE(writer.write("WAVE", 4), 0);
    QCOMPARE(writer.beginChunk("fmt "), 0);
    QCOMPARE(writer.writeFormat(1, 1, rate, 16), 0);
    QCOMPARE(writer.endChunk(), 0);
    QCOMPARE(writer.beginChunk("data"), 0);
    const QByteArray samples(dataBytes, '\x11');
    QCOMPARE(writer.write(samples.constData(), samples.size()), 0);
    QCOMPARE(writer.close(), 0);
    QVERIFY(!writer.isOpen());

    const WaveFile file = WaveFile::read(path);
    QCOMPARE(file.bytes.size(), 44 + dataBytes);
    QCOMPARE(file.bytes.left(4), QByteArray("RIFF"));
    QCOMPARE(file.u32At(4), quint32(36 + dataBytes));
    QCOMPARE(file.bytes.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(file.u32At(16), 16u);
    QCOMPARE(file.u16At(20), quint16(1));
    QCOMPARE(file.u16At(22), quint16(1));
    QCOMPARE(file.u32At(24), quint32(rate));
    QCOMPARE(file.u32At(28), quint32(rate * 2));
    QCOMPARE(file.u16At(32), quint16(2));
    QCOMPARE(file.u16At(34), quint16(16));
    QCOMPARE(file.bytes.mid(36, 4), QByteArray("data"));
    QCOMPARE(file.u32At(40), quint32(dataBytes));
    QCOMPARE(file.bytes.mid(44), samples);
}

void tst_RiffWriter::oddChunkGetsPadByte()
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.riff"));
    RiffWriter writer;
    writer.open(QFile::encodeName(path));
    writer.beginChunk("RIFF");
    writer.beginChunk("abcd");
    writer.write("xyz", 3);
    QCOMPARE(writer.endChunk(), 0);
    writer.close();
    const WaveFile file = WaveFile::read(path);
    QCOMPARE(file.bytes.size(), 8 + 8 + 4);
    QCOMPARE(file.u32At(12), 3u); // the stored size stays odd
    QCOMPARE(file.bytes.at(19), '\0');
    QCOMPARE(file.u32At(4), 12u);
}

void tst_RiffWriter::chunkDepthIsLimited()
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("deep.riff"));
    RiffWriter writer;
    QCOMPARE(writer.endChunk(), -1);
    writer.open(QFile::encodeName(path));
    QCOMPARE(writer.endChunk(), -1);
    for (int i = 0; i < RiffWriter::kMaxDepth; ++i)
        QCOMPARE(writer.beginChunk("LIST"), 0);
    QCOMPARE(writer.beginChunk("LIST"), -1);
    QCOMPARE(writer.close(), 0); // ends all eight
    const WaveFile file = WaveFile::read(path);
    QCOMPARE(file.bytes.size(), 8 * 8);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(file.u32At(8 * i + 4), quint32(8 * (7 - i)));
}

void tst_RiffWriter::nothingIsWrittenWithoutFile()
{
    RiffWriter writer;
    QCOMPARE(writer.beginChunk("RIFF"), -1);
    QCOMPARE(writer.write("abcd", 4), -1);
    QCOMPARE(writer.writeFormat(1, 1, 8000, 16), -1);
    QCOMPARE(writer.close(), 0);
}

void tst_RiffWriter::openFailsForMissingFolder()
{
    RiffWriter writer;
    QCOMPARE(writer.open("/nonexistent-folder/out.wav"), -1);
    QVERIFY(!writer.isOpen());
    QCOMPARE(writer.write("abcd", 4), -1);
}

void tst_RiffWriter::reopenClosesPreviousFile()
{
    TempDir dir;
    RiffWriter writer;
    writer.open(QFile::encodeName(dir.filePath(QStringLiteral("a.riff"))));
    writer.beginChunk("RIFF");
    writer.write("ab", 2);
    writer.open(QFile::encodeName(dir.filePath(QStringLiteral("b.riff"))));
    const WaveFile first = WaveFile::read(dir.filePath(QStringLiteral("a.riff")));
    QCOMPARE(first.bytes.size(), 10);
    QCOMPARE(first.u32At(4), 2u);
    QCOMPARE(writer.endChunk(), -1); // the new file has no open chunk
}

QTEST_GUILESS_MAIN(tst_RiffWriter)
#include "tst_riffwriter.moc"
