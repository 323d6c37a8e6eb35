// One speech decoder (FUZZ_ENCODING, set per target) on hostile coded bytes.
// The input is a rate byte, a count of split lengths, the lengths, then the
// coded bytes. The bytes are decoded whole and again in the pieces the
// lengths give (whole frames for frame-based codings): decoder state
// carries over between calls, so both must give the same samples, and so
// must a decoder after reset(). An output buffer one byte too small must be
// refused without a single byte written.
#include "fuzz/fuzzsupport.h"

#include "codecs/audiocodec.h"

#include <QList>
#include <QVector>

#include <algorithm>
#include <cstring>
#include <memory>

#ifndef FUZZ_ENCODING
#error "FUZZ_ENCODING names the coding under test"
#endif

namespace {

constexpr int kRates[] = {8000, 16000, 1000, 192000, 999, 0};
constexpr int kMaxSplits = 16;
constexpr qint16 kUntouched = 0x5A5A;
// Generous output bytes per coded byte: G.726-32 needs 4, TETRA 480 / 18.
constexpr int kOutputBytesPerByte = 32;

std::unique_ptr<AudioCodec> makeCodec(int rate)
{
    const QString encoding = QStringLiteral(FUZZ_ENCODING "/") + QString::number(rate);
    std::unique_ptr<AudioCodec> codec(createAudioCodec(encoding, 8000));
    FUZZ_CHECK(codec != nullptr);
    return codec;
}

// Decodes `coded` in one call; returns the samples.
QVector<qint16> decodeWhole(AudioCodec *codec, const QByteArray &coded)
{
    QVector<qint16> out(coded.size() * kOutputBytesPerByte / 2 + 1);
    int written = -1;
    FUZZ_CHECK(codec->decode(coded.constData(), coded.size(), out.data(), unsigned(out.size() * 2), &written) == 0);
    FUZZ_CHECK(written >= 0 && written % 2 == 0 && written <= out.size() * 2);
    out.resize(written / 2);
    return out;
}

// An exact-size buffer less one byte: refused, nothing written.
void checkTooSmall(AudioCodec *codec, const QByteArray &coded, int neededBytes)
{
    if (neededBytes == 0)
        return;
    QVector<qint16> out(neededBytes / 2, kUntouched);
    int written = -1;
    FUZZ_CHECK(codec->decode(coded.constData(), coded.size(), out.data(), unsigned(neededBytes - 1), &written) == 1);
    FUZZ_CHECK(std::all_of(out.cbegin(), out.cend(), [](qint16 s) { return s == kUntouched; }));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    FuzzSupport::InputReader in(data, size);
    const int rate = kRates[in.byte() % (sizeof kRates / sizeof kRates[0])];
    QList<int> splits;
    const int splitCount = in.byte() % (kMaxSplits + 1);
    for (int i = 0; i < splitCount; ++i)
        splits.append(in.byte());
    const QByteArray coded = in.rest();

    std::unique_ptr<AudioCodec> whole = makeCodec(rate);
    const QVector<qint16> expected = decodeWhole(whole.get(), coded);
    checkTooSmall(whole.get(), coded, expected.size() * 2);

    std::unique_ptr<AudioCodec> pieces = makeCodec(rate);
    const int unit = qMax(1, pieces->frameSize());
    QVector<qint16> joined;
    int at = 0;
    for (int i = 0; at < coded.size(); ++i) {
        // 1..256 units per piece; one piece without lengths.
        const int length = splits.isEmpty() ? coded.size() : (splits.at(i % splits.size()) + 1) * unit;
        const int piece = qMin(length, coded.size() - at);
        joined += decodeWhole(pieces.get(), coded.mid(at, piece));
        at += piece;
    }
    FUZZ_CHECK(joined == expected);

    pieces->reset();
    FUZZ_CHECK(decodeWhole(pieces.get(), coded) == expected);

    // Size arithmetic on hostile durations and counts must stay defined.
    double ms = 0;
    const QByteArray msBytes = coded.left(int(sizeof ms));
    memcpy(&ms, msBytes.constData(), size_t(msBytes.size()));
    whole->bytesForDuration(ms);
    whole->durationForBytes(coded.size());
    encodedDuration(QStringLiteral(FUZZ_ENCODING), int(qMin<size_t>(size * size, 0x7FFFFFFF)), rate);
    return 0;
}
