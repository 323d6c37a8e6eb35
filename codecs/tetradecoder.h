#pragma once

#include "codecs/tetrabasicops.h"

namespace tetra {

// The TETRA ACELP speech decoder (ETSI EN 300 395-2, 4.567 kbit/s): turns
// the parameters of one 30 ms frame into 240 samples at 8000 Hz, keeping the
// memory the next frame needs. Bit-exact with the standard's fixed-point
// decoder. Each object decodes one stream; objects share nothing but
// constant tables.
class Decoder
{
public:
    static constexpr int kFrameSamples = 240;
    static constexpr int kSubframeSamples = 60;
    static constexpr int kSubframes = kFrameSamples / kSubframeSamples;
    // Bad-frame indicator followed by the 23 speech parameters.
    static constexpr int kParams = 24;
    static constexpr int kSpeechParams = kParams - 1;
    static constexpr int kOrder = 10; // LPC order
    // Widths in bits of the parameters as transmitted: the indicator, the
    // three LSP codebook indices, then per subframe the pitch lag (absolute
    // in subframe 1, relative in the others), the algebraic code index, its
    // sign and shift, and the gain index.
    static constexpr int kParamBits[kParams] = {
        1,
        8, 9, 9,
        8, 14, 1, 1, 6,
        5, 14, 1, 1, 6,
        5, 14, 1, 1, 6,
        5, 14, 1, 1, 6,
    };

    Decoder();

    // Back to the state of a freshly constructed decoder.
    void reset();

    // Decodes one frame. params[0] is the bad-frame indicator (non-zero:
    // the frame was received in error and is concealed from the previous
    // ones); params[1..23] are the speech parameters in transmission order.
    // Writes kFrameSamples samples to synth, before the output doubling.
    void decodeFrame(const Word16 params[kParams], Word16 synth[kFrameSamples]);

private:
    static constexpr int kPitchMin = 20;
    static constexpr int kPitchMax = 143;
    // Past excitation kept for the adaptive codebook: the longest pitch lag
    // plus the reach of the interpolation filter. The first subframe reads
    // back at most 144 samples, the others at most 100 before the frame.
    static constexpr int kHistory = kPitchMax + 15;
    static constexpr int kCoeffs = kOrder + 1; // a[0] = 1.0 (Q12) and a[1..10]

    void decodeLsp(const Word16 index[3]);
    void interpolateLpc(Word16 a[kSubframes * kCoeffs]) const;
    void decodeGains(Word16 index, bool bad, const Word16 a[kCoeffs], const Word16 *adaptive,
                     const Word16 *code, Word16 &pitchGain, Word16 &codeGain);

    // Powers gamma^1..gamma^10 (Q15) of the noise-shaping weighting factors.
    Word16 m_weightNum[kOrder];
    Word16 m_weightDen[kOrder];

    // Past and current excitation (Q0); the current frame starts at
    // m_excitation[kHistory].
    Word16 m_excitation[kHistory + kFrameSamples];
    // LSPs (cosine domain, Q15) of the previous and of the current frame.
    // m_lspNew outlives the frame only for its LSP 0, which bad frames do
    // not overwrite.
    Word16 m_lspOld[kOrder];
    Word16 m_lspNew[kOrder];
    // Synthesis filter memory: the last kOrder output samples.
    Word16 m_synthMemory[kOrder];
    // Speech parameters of the last good frame, used for bad ones.
    Word16 m_lastGoodParams[kSpeechParams];
    // Integer pitch lag of the last subframe.
    Word16 m_lastLag;
    // Quantised pitch and code energies of the last subframe (Q8, log2).
    Word16 m_lastPitchEnergy;
    Word16 m_lastCodeEnergy;
};

} // namespace tetra
