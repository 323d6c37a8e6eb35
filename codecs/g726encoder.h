#pragma once

#include "codecs/g726state.h"

#include <QtGlobal>

// Encoder of G.726 ADPCM at 32 kbit/s producing the byte layout G726Codec
// reads: two 4-bit codewords per byte, the earlier one in the low nibble.
// Input is signed 16-bit linear; its two lowest bits are dropped (the coder
// works on 14-bit samples). The state carries over between encode() calls,
// so consecutive chunks form one continuous stream.
class G726Encoder
{
public:
    G726Encoder() = default;

    // Encodes sampleCount samples into out and returns the number of bytes
    // written. Samples are paired into bytes in order across calls: when the
    // total so far is odd, the last codeword is held back and becomes the
    // low nibble of the next call's first byte. out must hold at least
    // (sampleCount + 1) / 2 bytes.
    int encode(const qint16 *in, int sampleCount, char *out);

    // Encodes one sample and returns its codeword (0..15) without packing.
    int encodeSample(qint16 sample) { return m_state.encode(sample >> 2); }

    // Returns to the reset state and drops a held-back codeword.
    void reset();

private:
    G726State m_state;
    int m_pending = -1; // held-back low-nibble codeword, or -1
};
