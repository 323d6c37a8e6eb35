#pragma once

#include "codecs/audiocodec.h"
#include "codecs/g726state.h"

// Decoder of G.726 ADPCM at 32 kbit/s ("G726-32"). Each coded byte holds two
// 4-bit codewords, the earlier one in the low nibble; each codeword yields
// one sample, so n bytes decode into 2n samples (4n bytes). The decoder
// state carries over between decode() calls.
class G726Codec final : public AudioCodec
{
public:
    G726Codec();

    int decode(const char *in, int inBytes, qint16 *out, unsigned outCapacity,
               int *outBytes) override;
    int bytesForDuration(double ms) const override;
    double durationForBytes(int bytes) const override;
    void reset() override;

    // Milliseconds that `bytes` coded bytes last at `rate` samples per second.
    static double durationAt(int bytes, int rate);

    // Output sample for a reconstructed signal sr: sr limited to
    // -8192..8191, times 4.
    static qint16 outputSample(int sr)
    {
        return static_cast<qint16>(4 * (sr < -8192 ? -8192 : sr > 8191 ? 8191 : sr));
    }

private:
    G726State m_state;
};
