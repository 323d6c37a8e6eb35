#include "codecs/pcmacodec.h"

#include <QVector>
#include <QtTest>

#include <algorithm>
#include <limits>

class tst_PCMACodec : public QObject
{
    Q_OBJECT

private slots:
    void expandKnownCodes_data();
    void expandKnownCodes();
    void tableIsSymmetricAndMonotonic();
    void decodeCapacity_data();
    void decodeCapacity();
    void durations_data();
    void durations();
};

void tst_PCMACodec::expandKnownCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sample");

    QTest::newRow("0x00") << 0x00 << -5504;
    QTest::newRow("0x80") << 0x80 << 5504;
    QTest::newRow("0x55 smallest negative") << 0x55 << -8;
    QTest::newRow("0xD5 smallest positive") << 0xD5 << 8;
    QTest::newRow("0x2A most negative") << 0x2A << -32256;
    QTest::newRow("0xAA most positive") << 0xAA << 32256;
    // Segment 0 and 1 share the step size: 0x45 (v=0x10) follows 0x5A (v=0x0F).
    QTest::newRow("0x5A top of segment 0") << 0x5A << -31 * 8;
    QTest::newRow("0x45 bottom of segment 1") << 0x45 << -33 * 8;
    QTest::newRow("0xFF") << 0xFF << 848;
}

void tst_PCMACodec::expandKnownCodes()
{
    QFETCH(int, code);
    QFETCH(int, sample);

    QCOMPARE(int(PCMACodec::expand(quint8(code))), sample);

    PCMACodec codec;
    const char in = char(code);
    qint16 out = 0;
    int written = -1;
    QCOMPARE(codec.decode(&in, 1, &out, sizeof out, &written), 0);
    QCOMPARE(written, 2);
    QCOMPARE(int(out), sample);
}

void tst_PCMACodec::tableIsSymmetricAndMonotonic()
{
    // Bit 7 is the sign, and after the even-bit inversion the other seven
    // bits order the magnitudes: a typo anywhere in the table breaks one of
    // these.
    int previous = 0;
    for (int v = 0; v < 128; ++v) {
        const quint8 positive = quint8((v | 0x80) ^ 0x55);
        const quint8 negative = quint8(v ^ 0x55);
        const int magnitude = PCMACodec::expand(positive);
        QCOMPARE(int(PCMACodec::expand(negative)), -magnitude);
        QVERIFY2(magnitude > previous, qPrintable(QString::number(v)));
        QCOMPARE(magnitude % 8, 0);
        previous = magnitude;
    }
    QCOMPARE(previous, 32256);
}

void tst_PCMACodec::decodeCapacity_data()
{
    QTest::addColumn<int>("inBytes");
    QTest::addColumn<uint>("capacity");
    QTest::addColumn<int>("result");

    QTest::newRow("256 in 512") << 256 << 512u << 0;
    QTest::newRow("256 in 511") << 256 << 511u << 1;
    QTest::newRow("256 in 1024") << 256 << 1024u << 0;
    QTest::newRow("0 in 0") << 0 << 0u << 0;
    QTest::newRow("1 in 1") << 1 << 1u << 1;
    QTest::newRow("1 in 2") << 1 << 2u << 0;
    QTest::newRow("negative count") << -1 << 512u << 1;
    QTest::newRow("int max") << std::numeric_limits<int>::max() << 512u << 1;
}

void tst_PCMACodec::decodeCapacity()
{
    QFETCH(int, inBytes);
    QFETCH(uint, capacity);
    QFETCH(int, result);

    const QByteArray in(qBound(0, inBytes, 4096), char(0x80));
    QVector<qint16> out(1024, qint16(0x7777));
    int written = -12345;
    PCMACodec codec;
    QCOMPARE(codec.decode(in.constData(), inBytes, out.data(), capacity, &written), result);
    if (result == 0) {
        QCOMPARE(written, 2 * inBytes);
        for (int i = 0; i < inBytes; ++i)
            QCOMPARE(int(out[i]), 5504);
        QCOMPARE(out[inBytes], qint16(0x7777));
    } else {
        QCOMPARE(written, -12345);
        QVERIFY(std::all_of(out.cbegin(), out.cend(), [](qint16 s) { return s == 0x7777; }));
    }
    // A null outBytes is allowed.
    QCOMPARE(codec.decode(in.constData(), inBytes, out.data(), capacity, nullptr), result);
}

void tst_PCMACodec::durations_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("ms");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("durationBytes");
    QTest::addColumn<double>("duration");

    QTest::newRow("8000: 1 s") << 8000 << 1000.0 << 8000 << 8000 << 1000.0;
    QTest::newRow("8000: truncates") << 8000 << 0.2499 << 1 << 1 << 0.125;
    QTest::newRow("8000: zero") << 8000 << 0.0 << 0 << 0 << 0.0;
    QTest::newRow("16000: 1 s") << 16000 << 1000.0 << 16000 << 16000 << 1000.0;
    QTest::newRow("11025: 10 ms") << 11025 << 10.0 << 110 << 11025 << 1000.0;
    QTest::newRow("huge saturates") << 8000 << 1e300 << std::numeric_limits<int>::max() << 0 << 0.0;
}

void tst_PCMACodec::durations()
{
    QFETCH(int, rate);
    QFETCH(double, ms);
    QFETCH(int, bytes);
    QFETCH(int, durationBytes);
    QFETCH(double, duration);

    PCMACodec codec;
    codec.setSampleRate(rate);
    QCOMPARE(codec.sampleRate(), rate);
    QCOMPARE(codec.frameSize(), 0);
    QCOMPARE(codec.bytesForDuration(ms), bytes);
    QCOMPARE(codec.durationForBytes(durationBytes), duration);
}

QTEST_APPLESS_MAIN(tst_PCMACodec)
#include "tst_pcmacodec.moc"
