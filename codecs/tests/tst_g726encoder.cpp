#include "codecs/g726codec.h"
#include "codecs/g726encoder.h"
#include "tools/encoders.h"
#include "tools/testsignals.h"

#include <QRandomGenerator>
#include <QVector>
#include <QtTest>

#include <cmath>

namespace {

QVector<qint16> decodeAll(const QByteArray &coded)
{
    G726Codec codec;
    QVector<qint16> out(2 * coded.size());
    if (codec.decode(coded.constData(), coded.size(), out.data(), 4u * coded.size(), nullptr) != 0)
        return {};
    return out;
}

// Signal-to-noise ratio in dB of `decoded` against the 14-bit part of
// `original` (the coder drops the two lowest bits).
double snr(const QVector<qint16> &original, const QVector<qint16> &decoded)
{
    double signal = 0, noise = 0;
    for (int i = 0; i < original.size(); ++i) {
        const double s = original[i] & ~3;
        const double d = s - decoded[i];
        signal += s * s;
        noise += d * d;
    }
    return noise == 0 ? 1000.0 : 10 * std::log10(signal / noise);
}

} // namespace

class tst_G726Encoder : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void silenceIsNegativeZero();
    void packsLowNibbleFirst();
    void chunkingDoesNotMatter_data();
    void chunkingDoesNotMatter();
    void resetRestartsStream();
};

void tst_G726Encoder::roundTrip_data()
{
    QTest::addColumn<QVector<qint16>>("pcm");
    QTest::addColumn<double>("minSnr");

    // Speech through G.726 at 32 kbit/s keeps roughly 20..30 dB; a stray
    // sign or table error drops it to a few dB.
    QTest::newRow("speech-like, normal level")
            << SpeechSignal(1, 12000).next(8000 * 20) << 20.0;
    QTest::newRow("speech-like, quiet") << SpeechSignal(2, 1500).next(8000 * 20) << 20.0;
    QTest::newRow("speech-like, loud") << SpeechSignal(3, 24000).next(8000 * 20) << 20.0;
    QTest::newRow("1 kHz sine") << toneSignal(1000, 8000 * 5, 10000) << 25.0;
    QTest::newRow("300 Hz sine, low level") << toneSignal(300, 8000 * 5, 200) << 20.0;
    QTest::newRow("3.4 kHz sine") << toneSignal(3400, 8000 * 5, 8000) << 20.0;
}

void tst_G726Encoder::roundTrip()
{
    QFETCH(QVector<qint16>, pcm);
    QFETCH(double, minSnr);

    const QByteArray coded = encodeG726(pcm);
    QCOMPARE(coded.size(), pcm.size() / 2);
    const QVector<qint16> decoded = decodeAll(coded);
    QCOMPARE(decoded.size(), pcm.size());
    const double measured = snr(pcm, decoded);
    QVERIFY2(measured >= minSnr, qPrintable(QStringLiteral("SNR %1 dB").arg(measured)));
}

void tst_G726Encoder::silenceIsNegativeZero()
{
    // A zero difference quantises to magnitude 0, which the 32 kbit/s coder
    // always sends as codeword 15; it decodes back to silence.
    const QVector<qint16> silence(1000, 0);
    const QByteArray coded = encodeG726(silence);
    QCOMPARE(coded, QByteArray(500, char(0xFF)));
    QCOMPARE(decodeAll(coded), silence);
}

void tst_G726Encoder::packsLowNibbleFirst()
{
    const QVector<qint16> pcm = SpeechSignal(4, 8000).next(4000);
    G726Encoder packed, single;
    QByteArray coded(pcm.size() / 2, Qt::Uninitialized);
    QCOMPARE(packed.encode(pcm.constData(), pcm.size(), coded.data()), pcm.size() / 2);
    for (int i = 0; i < pcm.size(); ++i) {
        const int code = single.encodeSample(pcm[i]);
        QVERIFY(code >= 0 && code <= 15);
        QCOMPARE((quint8(coded[i / 2]) >> (i % 2 ? 4 : 0)) & 15, code);
    }
}

void tst_G726Encoder::chunkingDoesNotMatter_data()
{
    QTest::addColumn<QVector<int>>("chunks");

    QTest::newRow("1") << QVector<int>{1};
    QTest::newRow("3") << QVector<int>{3};
    QTest::newRow("odd and even") << QVector<int>{5, 2, 1, 1, 160, 7};
    QTest::newRow("with empty calls") << QVector<int>{0, 9, 0, 4};
}

void tst_G726Encoder::chunkingDoesNotMatter()
{
    QFETCH(QVector<int>, chunks);

    const QVector<qint16> pcm = SpeechSignal(5).next(8001);
    const QByteArray whole = encodeG726(pcm);

    G726Encoder encoder;
    QByteArray pieces;
    int pos = 0;
    for (int k = 0; pos < pcm.size(); ++k) {
        const int n = std::min(chunks[k % chunks.size()], pcm.size() - pos);
        char out[256];
        const int pendingBefore = pos % 2; // a codeword waits for its partner
        const int written = encoder.encode(pcm.constData() + pos, n, out);
        QCOMPARE(written, (pendingBefore + n) / 2);
        pieces.append(out, written);
        pos += n;
    }
    QCOMPARE(pieces, whole);
    // 8001 samples: the last codeword waits for a partner, which completes a byte.
    char last[1];
    QCOMPARE(encoder.encode(pcm.constData(), 1, last), 1);
}

void tst_G726Encoder::resetRestartsStream()
{
    const QVector<qint16> pcm = SpeechSignal(6).next(2000);
    G726Encoder encoder;
    QByteArray first(1000, Qt::Uninitialized), second(1000, Qt::Uninitialized);
    encoder.encode(pcm.constData(), 3, first.data()); // leaves a pending codeword
    encoder.reset();
    // Nothing left waiting: the same samples give the same bytes as a fresh encoder.
    QCOMPARE(encoder.encode(pcm.constData(), pcm.size(), second.data()), 1000);
    QCOMPARE(second, encodeG726(pcm));
}

QTEST_APPLESS_MAIN(tst_G726Encoder)
#include "tst_g726encoder.moc"
