// CELPCodec: the TETRA speech decoder.
#pragma once

#include "codecs/audiocodec.h"
#include "codecs/tetradecoder.h"

// Decoder of TETRA ACELP speech ("TETRA"): 18-byte frames of 30 ms, each
// decoded into 240 samples at 8000 Hz. The rate is fixed; setSampleRate is
// ignored.
class CELPCodec final : public AudioCodec
{
public:
    static constexpr int kFrameBytes = 18;
    static constexpr int kFrameMs = 30;
    static constexpr int kFrameSamples = tetra::Decoder::kFrameSamples;

    CELPCodec();

    void setSampleRate(int rate) override;
    int decode(const char *in, int inBytes, qint16 *out, unsigned outCapacity,
               int *outBytes) override;
    int bytesForDuration(double ms) const override;
    double durationForBytes(int bytes) const override;
    void reset() override;

    // Reads one stored frame into the decoder's 24 parameters: the first 138
    // bits, most significant bit of each byte first, cut into fields of
    // tetra::Decoder::kParamBits (the bad-frame indicator, then the 23 speech
    // parameters). The last 6 bits of byte 17 are not used.
    static void unpackFrame(const unsigned char frame[kFrameBytes],
                            qint16 params[tetra::Decoder::kParams]);

    // Output scaling of a decoded sample: doubled, saturated to 16 bits.
    static qint16 scaleSample(qint16 sample)
    {
        if (sample > 16383)
            return 32767;
        if (sample < -16384)
            return -32768;
        return static_cast<qint16>(sample * 2);
    }

private:
    tetra::Decoder m_decoder;
};
