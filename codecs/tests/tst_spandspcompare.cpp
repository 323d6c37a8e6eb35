// Differential tests against the independent G.711 and G.726 coders of the
// spandsp library (which passes the ITU test sequences). Built only when
// spandsp is installed.

#include "codecs/g726codec.h"
#include "codecs/g726encoder.h"
#include "codecs/pcmacodec.h"
#include "tools/testsignals.h"

#include <QRandomGenerator>
#include <QVector>
#include <QtTest>

#include <cstdint>
#include <memory>

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/g726.h>

namespace {

struct G726Deleter
{
    void operator()(g726_state_t *s) const { g726_free(s); }
};
using SpanG726 = std::unique_ptr<g726_state_t, G726Deleter>;

SpanG726 spanG726()
{
    // One codeword per byte, linear samples on the outside.
    return SpanG726(g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_NONE));
}

// Packs codewords two per byte, the earlier in the low nibble.
QByteArray pack(const QByteArray &codewords)
{
    QByteArray packed(codewords.size() / 2, Qt::Uninitialized);
    for (int i = 0; i < packed.size(); ++i)
        packed[i] = char((codewords[2 * i] & 15) | ((codewords[2 * i + 1] & 15) << 4));
    return packed;
}

// Codewords of our encoder for `pcm`, one per byte.
QByteArray encodeCodewords(const QVector<qint16> &pcm)
{
    G726Encoder encoder;
    QByteArray codewords(pcm.size(), Qt::Uninitialized);
    for (int i = 0; i < pcm.size(); ++i)
        codewords[i] = char(encoder.encodeSample(pcm[i]));
    return codewords;
}

QVector<qint16> randomWalk(quint32 seed, int count, int stepLimit, int range)
{
    QRandomGenerator rng(seed);
    QVector<qint16> out(count);
    int v = 0;
    for (qint16 &s : out) {
        v += int(rng.bounded(2 * stepLimit + 1)) - stepLimit;
        v = qBound(-range, v, range);
        s = qint16(v);
    }
    return out;
}

} // namespace

class tst_SpandspCompare : public QObject
{
    Q_OBJECT

private slots:
    void alawAllCodes();
    void decoderMatches_data();
    void decoderMatches();
    void encoderMatches_data();
    void encoderMatches();
};

void tst_SpandspCompare::alawAllCodes()
{
    for (int code = 0; code < 256; ++code)
        QCOMPARE(int(PCMACodec::expand(quint8(code))), int(alaw_to_linear(uint8_t(code))));
}

void tst_SpandspCompare::decoderMatches_data()
{
    QTest::addColumn<QByteArray>("codewords");
    QTest::addColumn<int>("minInRangePercent");

    const int minute = 8000 * 60;
    // Streams our encoder makes from signals of every loudness: the decoded
    // signal follows the input, so it stays inside the 14-bit range.
    QTest::newRow("speech-like, 4 min")
            << encodeCodewords(SpeechSignal(11, 12000).next(4 * minute)) << 99;
    QTest::newRow("speech-like quiet, 1 min")
            << encodeCodewords(SpeechSignal(12, 800).next(minute)) << 99;
    QTest::newRow("speech-like loud, 1 min")
            << encodeCodewords(SpeechSignal(13, 20000).next(minute)) << 99;
    QTest::newRow("random walk, 2 min")
            << encodeCodewords(randomWalk(14, 2 * minute, 900, 30000)) << 99;

    // Raw random codewords: uniform, and biased towards small magnitudes.
    QRandomGenerator rng(15);
    QByteArray uniform(2 * minute, Qt::Uninitialized);
    for (char &c : uniform)
        c = char(rng.bounded(16));
    QTest::newRow("uniform codewords, 2 min") << uniform << 90;
    QByteArray small(minute, Qt::Uninitialized);
    for (char &c : small) {
        const int magnitude = rng.bounded(10) < 9 ? int(rng.bounded(5)) : int(rng.bounded(8));
        c = char(rng.bounded(2) ? magnitude : 15 - magnitude);
    }
    QTest::newRow("small codewords, 1 min") << small << 90;

    // Long runs of one large codeword drive the zero coefficients to the
    // end of their 16-bit range and the partial estimate past 16 bits,
    // where both wrap around; the signal spends much time out of range, and
    // a wrong wrap shows as a mismatch in the samples that are in range.
    QTest::newRow("codeword 7 repeated, 30 s") << QByteArray(minute / 2, char(7)) << 30;
    QTest::newRow("codeword 9 repeated, 30 s") << QByteArray(minute / 2, char(9)) << 30;
    QByteArray runs;
    while (runs.size() < minute) {
        const int codeword = int(rng.bounded(2) ? 6 + rng.bounded(2) : 8 + rng.bounded(2));
        runs.append(int(rng.bounded(500, 3000)), char(codeword));
    }
    QTest::newRow("long runs of large codewords, 1 min") << runs << 30;
}

void tst_SpandspCompare::decoderMatches()
{
    QFETCH(QByteArray, codewords);
    QFETCH(int, minInRangePercent);

    // spandsp returns the reconstructed signal times 4 without limiting it
    // (wrapping to 16 bits), so the comparison is made on the unlimited
    // signal where it is inside -8192..8191, and the decoder's samples are
    // checked against the limited signal everywhere.
    QVector<int16_t> reference(codewords.size());
    SpanG726 span = spanG726();
    QVERIFY(span);
    QCOMPARE(g726_decode(span.get(), reference.data(),
                         reinterpret_cast<const uint8_t *>(codewords.constData()), codewords.size()),
             codewords.size());

    const QByteArray packed = pack(codewords);
    QVector<qint16> out(2 * packed.size());
    G726Codec codec;
    QCOMPARE(codec.decode(packed.constData(), packed.size(), out.data(), 4u * packed.size(), nullptr),
             0);

    G726State state;
    int inRange = 0;
    for (int i = 0; i < out.size(); ++i) {
        const int sr = state.decode(codewords[i]);
        if (sr >= -8192 && sr <= 8191) {
            ++inRange;
            if (out[i] != reference[i] || 4 * sr != reference[i])
                QFAIL(qPrintable(QStringLiteral("sample %1: %2, spandsp %3")
                                         .arg(i).arg(out[i]).arg(reference[i])));
        } else if (out[i] != G726Codec::outputSample(sr)) {
            QFAIL(qPrintable(QStringLiteral("sample %1 not limited").arg(i)));
        }
    }
    QVERIFY2(inRange >= qint64(out.size()) * minInRangePercent / 100,
             qPrintable(QString::number(inRange)));
}

void tst_SpandspCompare::encoderMatches_data()
{
    QTest::addColumn<QVector<qint16>>("pcm");

    const int minute = 8000 * 60;
    QTest::newRow("speech-like, 2 min") << SpeechSignal(21, 12000).next(2 * minute);
    QTest::newRow("speech-like overdriven, 30 s") << SpeechSignal(22, 60000).next(minute / 2);
    QTest::newRow("random walk, 1 min") << randomWalk(23, minute, 2000, 32767);
    QVector<qint16> noise(minute / 2);
    QRandomGenerator rng(24);
    for (qint16 &s : noise)
        s = qint16(rng.bounded(65536) - 32768);
    QTest::newRow("full-scale noise, 30 s") << noise;
}

void tst_SpandspCompare::encoderMatches()
{
    QFETCH(QVector<qint16>, pcm);

    QByteArray reference(pcm.size(), Qt::Uninitialized);
    SpanG726 span = spanG726();
    QVERIFY(span);
    QCOMPARE(g726_encode(span.get(), reinterpret_cast<uint8_t *>(reference.data()),
                         reinterpret_cast<const int16_t *>(pcm.constData()), pcm.size()),
             pcm.size());
    const QByteArray ours = encodeCodewords(pcm);
    for (int i = 0; i < pcm.size(); ++i) {
        if (ours[i] != reference[i])
            QFAIL(qPrintable(QStringLiteral("sample %1: codeword %2, spandsp %3")
                                     .arg(i).arg(int(ours[i])).arg(int(reference[i]))));
    }
}

QTEST_APPLESS_MAIN(tst_SpandspCompare)
#include "tst_spandspcompare.moc"
