#include "codecs/celpcodec.h"
#include "testsupport/testfiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QVector>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

constexpr int kFrameBytes = 18;
constexpr int kFrameOutBytes = 480;

// Decodes `coded` in chunks of chunkBytes (the whole input when 0).
QVector<qint16> decodeInChunks(CELPCodec &codec, const QByteArray &coded, int chunkBytes = 0)
{
    if (chunkBytes == 0)
        chunkBytes = coded.size();
    QVector<qint16> out(coded.size() / kFrameBytes * (kFrameOutBytes / 2));
    int written = 0;
    for (int pos = 0; pos < coded.size(); pos += chunkBytes) {
        const int n = qMin(chunkBytes, coded.size() - pos);
        int bytes = -1;
        const int result = codec.decode(coded.constData() + pos, n, out.data() + written / 2,
                                        unsigned(out.size() * 2 - written), &bytes);
        if (result != 0 || bytes < 0)
            return QVector<qint16>();
        written += bytes;
    }
    out.resize(written / 2);
    return out;
}

// Index of the first sample where the two differ, -1 when equal.
int firstDifference(const QVector<qint16> &a, const QVector<qint16> &b)
{
    const int n = qMin(a.size(), b.size());
    for (int i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return i;
    }
    return a.size() == b.size() ? -1 : n;
}

#define COMPARE_SAMPLES(actual, expected)                                                    \
    do {                                                                                     \
        const int at = firstDifference(actual, expected);                                    \
        if (at >= 0)                                                                         \
            QFAIL(qPrintable(QStringLiteral("first difference at sample %1 (frame %2) of "   \
                                            "%3/%4 samples")                                 \
                                 .arg(at)                                                    \
                                 .arg(at / 240)                                              \
                                 .arg((actual).size())                                       \
                                 .arg((expected).size())));                                  \
    } while (false)

QByteArray frameWithFirstBitSet(quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray frame(kFrameBytes, Qt::Uninitialized);
    for (char &c : frame)
        c = static_cast<char>(random.bounded(256));
    frame[0] = static_cast<char>(frame[0] | 0x80);
    return frame;
}

} // namespace

class tst_CELPCodec : public QObject
{
    Q_OBJECT

private:
    void addVectorRows();

private slots:
    void decodesVectorInOneCall_data() { addVectorRows(); }
    void decodesVectorInOneCall();
    void decodesVectorFrameByFrame_data() { addVectorRows(); }
    void decodesVectorFrameByFrame();
    void resetRestoresInitialState_data() { addVectorRows(); }
    void resetRestoresInitialState();
    void alternatingDecodersStayIndependent();

    void decodeSizes_data();
    void decodeSizes();
    void bytesForDuration_data();
    void bytesForDuration();
    void durationForBytes_data();
    void durationForBytes();
    void rateIsFixed();
    void scaleSample_data();
    void scaleSample();
    void unpackFrame_data();
    void unpackFrame();
    void badFrameIgnoresItsBits();
    void randomInputDecodesSafely();
};

void tst_CELPCodec::addVectorRows()
{
    QTest::addColumn<QString>("name");
    // Good frames only; bad frames including the first two of the stream;
    // bad frames scattered through a longer stream.
    QTest::newRow("ru1") << QStringLiteral("ru1");
    QTest::newRow("ru1-bfi") << QStringLiteral("ru1-bfi");
    QTest::newRow("ru2") << QStringLiteral("ru2");
}

void tst_CELPCodec::decodesVectorInOneCall()
{
    QFETCH(QString, name);
    const QByteArray coded = readFile(codecTestData(name + QStringLiteral(".tetra")));
    const QVector<qint16> expected = samplesOf(readFile(codecTestData(name + QStringLiteral(".pcm"))));
    QVERIFY(!coded.isEmpty());
    QCOMPARE(expected.size(), coded.size() / kFrameBytes * 240);

    CELPCodec codec;
    COMPARE_SAMPLES(decodeInChunks(codec, coded), expected);
}

void tst_CELPCodec::decodesVectorFrameByFrame()
{
    QFETCH(QString, name);
    const QByteArray coded = readFile(codecTestData(name + QStringLiteral(".tetra")));
    const QVector<qint16> expected = samplesOf(readFile(codecTestData(name + QStringLiteral(".pcm"))));
    QVERIFY(!coded.isEmpty());

    CELPCodec codec;
    COMPARE_SAMPLES(decodeInChunks(codec, coded, kFrameBytes), expected);
}

void tst_CELPCodec::resetRestoresInitialState()
{
    QFETCH(QString, name);
    const QByteArray coded = readFile(codecTestData(name + QStringLiteral(".tetra")));
    const QVector<qint16> expected = samplesOf(readFile(codecTestData(name + QStringLiteral(".pcm"))));
    QVERIFY(!coded.isEmpty());

    // Leave every part of the state dirty, a bad frame included, then reset.
    CELPCodec codec;
    QVERIFY(!decodeInChunks(codec, readFile(codecTestData(QStringLiteral("ru2.tetra")))).isEmpty());
    QVERIFY(!decodeInChunks(codec, frameWithFirstBitSet(7)).isEmpty());
    codec.reset();
    COMPARE_SAMPLES(decodeInChunks(codec, coded), expected);
}

void tst_CELPCodec::alternatingDecodersStayIndependent()
{
    const QByteArray codedA = readFile(codecTestData(QStringLiteral("ru1-bfi.tetra")));
    const QByteArray codedB = readFile(codecTestData(QStringLiteral("ru2.tetra")));
    QVERIFY(!codedA.isEmpty() && !codedB.isEmpty());

    CELPCodec a;
    CELPCodec b;
    QVector<qint16> outA;
    QVector<qint16> outB;
    const int frames = qMax(codedA.size(), codedB.size()) / kFrameBytes;
    for (int f = 0; f < frames; ++f) {
        const int pos = f * kFrameBytes;
        if (pos < codedA.size())
            outA += decodeInChunks(a, codedA.mid(pos, kFrameBytes));
        if (pos < codedB.size())
            outB += decodeInChunks(b, codedB.mid(pos, kFrameBytes));
    }
    COMPARE_SAMPLES(outA, samplesOf(readFile(codecTestData(QStringLiteral("ru1-bfi.pcm")))));
    COMPARE_SAMPLES(outB, samplesOf(readFile(codecTestData(QStringLiteral("ru2.pcm")))));
}

void tst_CELPCodec::decodeSizes_data()
{
    QTest::addColumn<int>("inBytes");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("written");

    QTest::newRow("nothing") << 0 << 0 << 0 << 0;
    QTest::newRow("partial frame") << 17 << 0 << 0 << 0;
    QTest::newRow("one frame") << 18 << 480 << 0 << 480;
    QTest::newRow("two frames") << 36 << 960 << 0 << 960;
    QTest::newRow("two frames and a remainder") << 40 << 960 << 0 << 960;
    QTest::newRow("room to spare") << 18 << 1000 << 0 << 480;
    QTest::newRow("one byte short") << 18 << 479 << 1 << -1;
    QTest::newRow("one frame short") << 54 << 959 << 1 << -1;
    QTest::newRow("negative count") << -36 << 100000 << 1 << -1;
}

void tst_CELPCodec::decodeSizes()
{
    QFETCH(int, inBytes);
    QFETCH(int, capacity);
    QFETCH(int, result);
    QFETCH(int, written);

    const QByteArray coded = readFile(codecTestData(QStringLiteral("ru1.tetra"))).left(qMax(inBytes, 0));
    constexpr qint16 kUntouched = 0x5555;
    QVector<qint16> out(2000, kUntouched);
    int outBytes = -1;
    CELPCodec codec;
    QCOMPARE(codec.decode(coded.constData(), inBytes, out.data(), unsigned(capacity), &outBytes),
             result);
    QCOMPARE(outBytes, written);
    const int firstUntouched = qMax(written, 0) / 2;
    for (int i = firstUntouched; i < out.size(); ++i)
        QCOMPARE(out[i], kUntouched);
}

void tst_CELPCodec::bytesForDuration_data()
{
    QTest::addColumn<double>("ms");
    QTest::addColumn<int>("bytes");

    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("negative") << -30.0 << 0;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("half a ms") << 0.5 << 18;
    QTest::newRow("one frame") << 30.0 << 18;
    QTest::newRow("just over one frame") << 30.5 << 36;
    QTest::newRow("32 ms") << 32.0 << 36;
    QTest::newRow("exactly three frames") << 90.0 << 54;
    QTest::newRow("one ulp over three frames") << std::nextafter(90.0, 100.0) << 72;
    QTest::newRow("one hour") << 3600000.0 << 2160000;
    QTest::newRow("beyond int") << 1e300 << std::numeric_limits<int>::max() / 18 * 18;
}

void tst_CELPCodec::bytesForDuration()
{
    QFETCH(double, ms);
    QFETCH(int, bytes);
    CELPCodec codec;
    QCOMPARE(codec.bytesForDuration(ms), bytes);
}

void tst_CELPCodec::durationForBytes_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<double>("ms");

    QTest::newRow("none") << 0 << 0.0;
    QTest::newRow("half a frame") << 9 << 15.0;
    QTest::newRow("one frame") << 18 << 30.0;
    QTest::newRow("frame and a remainder") << 40 << 40 / 18.0 * 30;
}

void tst_CELPCodec::durationForBytes()
{
    QFETCH(int, bytes);
    QFETCH(double, ms);
    CELPCodec codec;
    QCOMPARE(codec.durationForBytes(bytes), ms);
}

void tst_CELPCodec::rateIsFixed()
{
    CELPCodec codec;
    codec.setSampleRate(16000);
    QCOMPARE(codec.sampleRate(), 8000);
    QCOMPARE(codec.frameSize(), 18);
}

void tst_CELPCodec::scaleSample_data()
{
    QTest::addColumn<int>("sample");
    QTest::addColumn<int>("scaled");

    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("small positive") << 1000 << 2000;
    QTest::newRow("small negative") << -1 << -2;
    QTest::newRow("largest unclipped") << 16383 << 32766;
    QTest::newRow("smallest clipped") << 16384 << 32767;
    QTest::newRow("large positive") << 20000 << 32767;
    QTest::newRow("lowest unclipped") << -16384 << -32768;
    QTest::newRow("just below") << -16385 << -32768;
    QTest::newRow("large negative") << -20000 << -32768;
    QTest::newRow("extreme negative") << -32768 << -32768;
}

void tst_CELPCodec::scaleSample()
{
    QFETCH(int, sample);
    QFETCH(int, scaled);
    QCOMPARE(int(CELPCodec::scaleSample(qint16(sample))), scaled);
}

void tst_CELPCodec::unpackFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QVector<int>>("params");

    const QVector<int> zeros(24, 0);
    QByteArray frame(kFrameBytes, '\0');
    QTest::newRow("all zero") << frame << zeros;

    frame.fill('\xff');
    QTest::newRow("all ones") << frame
                              << QVector<int>{1,   255, 511,   511, 255, 16383, 1, 1,
                                              63,  31,  16383, 1,   1,   63,    31, 16383,
                                              1,   1,   63,    31,  16383, 1,   1,  63};

    frame.fill('\0');
    frame[17] = '\x3f';
    QTest::newRow("unused tail bits") << frame << zeros;

    frame[17] = '\xc0';
    QVector<int> last = zeros;
    last[23] = 3; // bits 136 and 137: the low end of subframe 4's gain index
    QTest::newRow("last used bits") << frame << last;

    frame.fill('\0');
    frame[0] = '\x80';
    QVector<int> badOnly = zeros;
    badOnly[0] = 1;
    QTest::newRow("indicator only") << frame << badOnly;

    frame[0] = '\x40';
    QVector<int> lspMsb = zeros;
    lspMsb[1] = 128;
    QTest::newRow("top bit of LSP index 1") << frame << lspMsb;

    // Bits 9-17 hold LSP index 2: bit 15 ends byte 1, bits 16 and 17 start
    // byte 2.
    frame.fill('\0');
    frame[1] = '\x01';
    frame[2] = '\xc0';
    QVector<int> crossing = zeros;
    crossing[2] = 7;
    QTest::newRow("field crossing a byte") << frame << crossing;
}

void tst_CELPCodec::unpackFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(QVector<int>, params);

    qint16 unpacked[tetra::Decoder::kParams];
    CELPCodec::unpackFrame(reinterpret_cast<const unsigned char *>(frame.constData()), unpacked);
    for (int i = 0; i < tetra::Decoder::kParams; ++i)
        QCOMPARE(int(unpacked[i]), params[i]);
}

void tst_CELPCodec::badFrameIgnoresItsBits()
{
    // A bad frame is concealed from the frames before it: its own bits,
    // however different, change nothing in it or after it.
    const QByteArray coded = readFile(codecTestData(QStringLiteral("ru1.tetra")));
    QVERIFY(coded.size() >= 20 * kFrameBytes);
    const QByteArray before = coded.left(10 * kFrameBytes);
    const QByteArray after = coded.mid(10 * kFrameBytes, 10 * kFrameBytes);

    QByteArray allOnes(kFrameBytes, '\xff');
    const QByteArray bad[] = {frameWithFirstBitSet(1), frameWithFirstBitSet(2), allOnes};
    QVector<qint16> reference;
    for (const QByteArray &badFrame : bad) {
        CELPCodec codec;
        const QVector<qint16> out = decodeInChunks(codec, before + badFrame + after);
        QCOMPARE(out.size(), 21 * 240);
        if (reference.isEmpty())
            reference = out;
        else
            COMPARE_SAMPLES(out, reference);
    }

    // ...whereas the same bits as a good frame do change the output.
    QByteArray good = frameWithFirstBitSet(1);
    good[0] = static_cast<char>(good[0] & 0x7f);
    CELPCodec codec;
    QVERIFY(decodeInChunks(codec, before + good + after) != reference);
}

void tst_CELPCodec::randomInputDecodesSafely()
{
    QRandomGenerator random(20240607);
    CELPCodec codec;
    for (int round = 0; round < 300; ++round) {
        QByteArray coded(int(random.bounded(40 * kFrameBytes)), Qt::Uninitialized);
        for (char &c : coded)
            c = static_cast<char>(random.bounded(256));
        const int frames = coded.size() / kFrameBytes;
        QVector<qint16> out(frames * 240 + 1);
        int outBytes = -1;
        QCOMPARE(codec.decode(coded.constData(), coded.size(), out.data(),
                              unsigned(out.size() * 2), &outBytes),
                 0);
        QCOMPARE(outBytes, frames * kFrameOutBytes);
        if (random.bounded(10) == 0)
            codec.reset();
    }
}

QTEST_APPLESS_MAIN(tst_CELPCodec)

#include "tst_celpcodec.moc"
