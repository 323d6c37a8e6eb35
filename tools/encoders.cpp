#include "encoders.h"

#include "codecs/g726encoder.h"

namespace {

constexpr int kEvenBitInversion = 0x55;
constexpr int kSignBit = 0x80;
constexpr int kSegmentShift = 4;
constexpr int kQuantMask = 0x0F;
constexpr int kSegments = 8;

unsigned char encodeSample(int sample)
{
    int magnitude = sample >> 3; // 13-bit range
    int mask = kEvenBitInversion | kSignBit;
    if (magnitude < 0) {
        mask = kEvenBitInversion;
        magnitude = -magnitude - 1;
    }
    // Segment: position of the highest set bit above the 5 lowest.
    int segment = 0;
    while (segment < kSegments && magnitude > (0x1F << segment))
        ++segment;
    if (segment >= kSegments)
        return static_cast<unsigned char>(0x7F ^ mask);
    const int shift = segment < 2 ? 1 : segment;
    const int code = (segment << kSegmentShift) | ((magnitude >> shift) & kQuantMask);
    return static_cast<unsigned char>(code ^ mask);
}

} // namespace

QByteArray encodeALaw(const QVector<qint16> &samples)
{
    QByteArray out(samples.size(), '\0');
    for (int i = 0; i < samples.size(); ++i)
        out[i] = char(encodeSample(samples.at(i)));
    return out;
}

QByteArray encodeG726(const QVector<qint16> &samples)
{
    G726Encoder encoder;
    QByteArray out((samples.size() + 1) / 2, '\0');
    out.resize(encoder.encode(samples.constData(), samples.size(), out.data()));
    return out;
}
