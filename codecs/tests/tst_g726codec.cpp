#include "codecs/g726codec.h"
#include "testsupport/testfiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QVector>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <limits>

namespace {

// Decodes `coded` in consecutive chunks whose sizes cycle through `chunks`.
QVector<qint16> decodeInChunks(G726Codec &codec, const QByteArray &coded,
                               const QVector<int> &chunks)
{
    QVector<qint16> out(2 * coded.size());
    int pos = 0;
    for (int k = 0; pos < coded.size(); ++k) {
        const int n = std::min(chunks[k % chunks.size()], int(coded.size()) - pos);
        int written = -1;
        if (codec.decode(coded.constData() + pos, n, out.data() + 2 * pos, 4u * n, &written) != 0
            || written != 4 * n)
            return {};
        pos += n;
    }
    return out;
}

} // namespace

class tst_G726Codec : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void referenceVector();
    void referenceVectorInChunks_data();
    void referenceVectorInChunks();
    void resetRestartsStream();
    void nibbleOrder_data();
    void nibbleOrder();
    void outputLimiting_data();
    void outputLimiting();
    void limitingInStream();
    void decodeCapacity_data();
    void decodeCapacity();
    void durations_data();
    void durations();
    void randomInputStaysInBounds();

private:
    QByteArray m_coded;
    QVector<qint16> m_expected;
};

void tst_G726Codec::initTestCase()
{
    m_coded = readFile(codecTestData(QStringLiteral("ru1.g726")));
    const QByteArray pcm = readFile(codecTestData(QStringLiteral("ru1-g726.pcm")));
    QVERIFY(!m_coded.isEmpty());
    QCOMPARE(pcm.size(), 4 * m_coded.size());
    m_expected = samplesOf(pcm);
}

void tst_G726Codec::referenceVector()
{
    G726Codec codec;
    QVector<qint16> out(m_expected.size());
    int written = 0;
    QCOMPARE(codec.decode(m_coded.constData(), m_coded.size(), out.data(),
                          unsigned(2 * out.size()), &written),
             0);
    QCOMPARE(written, 2 * out.size());
    for (int i = 0; i < out.size(); ++i) {
        if (out[i] != m_expected[i])
            QFAIL(qPrintable(QStringLiteral("sample %1: %2, expected %3")
                                     .arg(i).arg(out[i]).arg(m_expected[i])));
    }
}

void tst_G726Codec::referenceVectorInChunks_data()
{
    QTest::addColumn<QVector<int>>("chunks");

    // One byte at a time splits the stream at every byte boundary at once.
    QTest::newRow("1") << QVector<int>{1};
    QTest::newRow("7") << QVector<int>{7};
    QTest::newRow("128 (a 512-byte reader buffer)") << QVector<int>{128};
    QTest::newRow("mixed") << QVector<int>{1, 3, 1000, 2, 17, 255, 4096};
}

void tst_G726Codec::referenceVectorInChunks()
{
    QFETCH(QVector<int>, chunks);
    G726Codec codec;
    QCOMPARE(decodeInChunks(codec, m_coded, chunks), m_expected);
}

void tst_G726Codec::resetRestartsStream()
{
    G726Codec codec;
    QVector<qint16> scratch(2 * 5000);
    QCOMPARE(codec.decode(m_coded.constData() + 3000, 5000, scratch.data(), 20000, nullptr), 0);
    codec.reset();
    QCOMPARE(decodeInChunks(codec, m_coded, {4096}), m_expected);
}

void tst_G726Codec::nibbleOrder_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");

    // From the reset state the estimate is 0 and the scale factor 544, so
    // codeword 1 reconstructs 2 (sample 8) and codeword 2 reconstructs 4
    // (sample 16); one small codeword moves neither the estimate nor the
    // scale factor far enough to change the other's sample.
    QTest::newRow("0x21: 1 then 2") << 0x21 << 8 << 16;
    QTest::newRow("0x12: 2 then 1") << 0x12 << 16 << 8;
}

void tst_G726Codec::nibbleOrder()
{
    QFETCH(int, byte);
    QFETCH(int, first);
    QFETCH(int, second);

    G726Codec codec;
    const char in = char(byte);
    qint16 out[2] = {0, 0};
    QCOMPARE(codec.decode(&in, 1, out, sizeof out, nullptr), 0);
    QCOMPARE(int(out[0]), first);
    QCOMPARE(int(out[1]), second);
}

void tst_G726Codec::outputLimiting_data()
{
    QTest::addColumn<int>("sr");
    QTest::addColumn<int>("sample");

    QTest::newRow("9000") << 9000 << 32764;
    QTest::newRow("-9000") << -9000 << -32768;
    QTest::newRow("8191") << 8191 << 32764;
    QTest::newRow("8192") << 8192 << 32764;
    QTest::newRow("-8192") << -8192 << -32768;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("-1") << -1 << -4;
}

void tst_G726Codec::outputLimiting()
{
    QFETCH(int, sr);
    QFETCH(int, sample);
    QCOMPARE(int(G726Codec::outputSample(sr)), sample);
}

void tst_G726Codec::limitingInStream()
{
    // Long runs of the largest codewords push the reconstructed signal far
    // beyond the 14-bit range in both directions; the decoder's samples
    // must be the limited signal times 4.
    QByteArray coded;
    for (int run = 0; run < 40; ++run)
        coded.append(200, char(run % 2 ? 0x88 : 0x77));
    G726Codec codec;
    G726State state;
    QVector<qint16> out(2 * coded.size());
    QCOMPARE(codec.decode(coded.constData(), coded.size(), out.data(), 4u * coded.size(), nullptr),
             0);
    int above = 0, below = 0;
    for (int i = 0; i < out.size(); ++i) {
        const int sr = state.decode((quint8(coded[i / 2]) >> (4 * (i % 2))) & 15);
        above += sr > 8191;
        below += sr < -8192;
        QCOMPARE(out[i], G726Codec::outputSample(sr));
    }
    QVERIFY(above > 100);
    QVERIFY(below > 100);
    QCOMPARE(int(*std::max_element(out.cbegin(), out.cend())), 32764);
    QCOMPARE(int(*std::min_element(out.cbegin(), out.cend())), -32768);
}

void tst_G726Codec::decodeCapacity_data()
{
    QTest::addColumn<int>("inBytes");
    QTest::addColumn<uint>("capacity");
    QTest::addColumn<int>("result");

    QTest::newRow("128 in 512") << 128 << 512u << 0;
    QTest::newRow("128 in 511") << 128 << 511u << 1;
    QTest::newRow("127 in 511") << 127 << 511u << 0;
    QTest::newRow("0 in 0") << 0 << 0u << 0;
    QTest::newRow("1 in 3") << 1 << 3u << 1;
    QTest::newRow("negative count") << -4 << 512u << 1;
    // 4 x inBytes must not wrap around in the check.
    QTest::newRow("int max") << std::numeric_limits<int>::max() << 512u << 1;
    QTest::newRow("2^30 in 0") << (1 << 30) << 0u << 1;
}

void tst_G726Codec::decodeCapacity()
{
    QFETCH(int, inBytes);
    QFETCH(uint, capacity);
    QFETCH(int, result);

    const QByteArray in = m_coded.left(qBound(0, inBytes, 1024));
    QVector<qint16> out(1024, qint16(0x7777));
    int written = -12345;
    G726Codec codec;
    QCOMPARE(codec.decode(in.constData(), inBytes, out.data(), capacity, &written), result);
    if (result == 0) {
        QCOMPARE(written, 4 * inBytes);
        QVERIFY(std::equal(out.cbegin(), out.cbegin() + 2 * inBytes, m_expected.cbegin()));
        QCOMPARE(out[2 * inBytes], qint16(0x7777));
    } else {
        QCOMPARE(written, -12345);
        QVERIFY(std::all_of(out.cbegin(), out.cend(), [](qint16 s) { return s == 0x7777; }));
        // A refused call leaves the state alone: the stream still starts fresh.
        QCOMPARE(decodeInChunks(codec, m_coded.left(512), {512}), m_expected.mid(0, 1024));
    }
}

void tst_G726Codec::durations_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("ms");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("durationBytes");
    QTest::addColumn<double>("duration");

    QTest::newRow("8000: 1 s") << 8000 << 1000.0 << 4000 << 4000 << 1000.0;
    QTest::newRow("8000: one byte") << 8000 << 0.25 << 1 << 1 << 0.25;
    QTest::newRow("8000: truncates") << 8000 << 0.49 << 1 << 3 << 0.75;
    QTest::newRow("8000: 128 ms") << 8000 << 128.0 << 512 << 512 << 128.0;
    QTest::newRow("16000: 1 s") << 16000 << 1000.0 << 8000 << 4000 << 500.0;
    QTest::newRow("zero") << 8000 << 0.0 << 0 << 0 << 0.0;
    QTest::newRow("huge saturates") << 8000 << 1e300 << std::numeric_limits<int>::max() << 0 << 0.0;
}

void tst_G726Codec::durations()
{
    QFETCH(int, rate);
    QFETCH(double, ms);
    QFETCH(int, bytes);
    QFETCH(int, durationBytes);
    QFETCH(double, duration);

    G726Codec codec;
    QCOMPARE(codec.sampleRate(), 8000);
    QCOMPARE(codec.frameSize(), 0);
    codec.setSampleRate(rate);
    QCOMPARE(codec.bytesForDuration(ms), bytes);
    QCOMPARE(codec.durationForBytes(durationBytes), duration);
}

void tst_G726Codec::randomInputStaysInBounds()
{
    // Arbitrary bytes in arbitrary chunk sizes and buffer sizes: a call
    // either decodes everything into the buffer or is refused without
    // touching it; nothing is written past the capacity and every sample is
    // a limited 14-bit value times 4.
    QRandomGenerator rng(0x5eed);
    G726Codec codec;
    QVector<qint16> buffer(4096 + 64);
    for (int round = 0; round < 3000; ++round) {
        const int inBytes = int(rng.bounded(1100));
        const unsigned capacity = 2 * rng.bounded(2049u);
        QByteArray in(inBytes, Qt::Uninitialized);
        for (char &c : in)
            c = char(rng.bounded(256));
        std::fill(buffer.begin(), buffer.end(), qint16(0x1357));
        int written = -1;
        const int result = codec.decode(in.constData(), inBytes, buffer.data(), capacity, &written);
        const bool fits = 4u * unsigned(inBytes) <= capacity;
        QCOMPARE(result, fits ? 0 : 1);
        const int samples = fits ? 2 * inBytes : 0;
        QCOMPARE(written, fits ? 4 * inBytes : -1);
        QVERIFY(std::all_of(buffer.cbegin(), buffer.cbegin() + samples,
                            [](qint16 s) { return s % 4 == 0 && s <= 32764; }));
        QVERIFY(std::all_of(buffer.cbegin() + samples, buffer.cend(),
                            [](qint16 s) { return s == 0x1357; }));
        if (rng.bounded(50) == 0)
            codec.reset();
    }
}

QTEST_APPLESS_MAIN(tst_G726Codec)
#include "tst_g726codec.moc"
