#pragma once

#include "codecs/audiocodec.h"

// Decoder of ITU-T G.711 A-law ("PCMA"): one byte per sample, no memory.
class PCMACodec final : public AudioCodec
{
public:
    PCMACodec();

    int decode(const char *in, int inBytes, qint16 *out, unsigned outCapacity,
               int *outBytes) override;
    int bytesForDuration(double ms) const override;
    double durationForBytes(int bytes) const override;
    void reset() override;

    // 16-bit sample of one A-law code: the 13-bit G.711 value times 8.
    static qint16 expand(quint8 code) { return static_cast<qint16>(kTable[code] * 8); }

    // Milliseconds that `bytes` coded bytes last at `rate` samples per second.
    static double durationAt(int bytes, int rate);

private:
    // G.711 A-law expansion to 13-bit linear values (-4032..4032), indexed
    // by the code as received (even-bit inversion included).
    static const qint16 kTable[256];
};
