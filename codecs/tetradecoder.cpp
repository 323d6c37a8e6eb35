#include "tetradecoder.h"

#include "codecs/tetratables.h"

#include <algorithm>
#include <iterator>

namespace tetra {

void log2Q15(Word32 value, Word16 &exponent, Word16 &fraction)
{
    if (value <= 0) {
        exponent = 0;
        fraction = 0;
        return;
    }
    const int norm = norm32(value);
    value = shl32(value, norm);
    exponent = sub16(30, static_cast<Word16>(norm));

    // Bits 25..30 of the normalised value select the table interval (32..63),
    // bits 10..24 interpolate within it.
    value = shr32(value, 9);
    const int i = extractHigh(value) - 32;
    value = shr32(value, 1);
    const Word16 a = static_cast<Word16>(extractLow(value) & 0x7fff);

    Word32 y = depositHigh(kLog2Table[i]);
    y = msu32(y, sub16(kLog2Table[i], kLog2Table[i + 1]), a);
    fraction = extractHigh(y);
}

Word32 pow2Q15(Word16 exponent, Word16 fraction)
{
    // Bits 10..14 of the fraction select the table interval, bits 0..9
    // interpolate within it.
    Word32 x = shl32(Word32(fraction), 6);
    const int i = extractHigh(x);
    x = shr32(x, 1);
    const Word16 a = static_cast<Word16>(extractLow(x) & 0x7fff);

    x = depositHigh(kPow2Table[i]);
    x = msu32(x, sub16(kPow2Table[i], kPow2Table[i + 1]), a);
    return shrRound32(x, sub16(30, exponent));
}

namespace {

constexpr int kOrder = Decoder::kOrder;
constexpr int kCoeffs = kOrder + 1;
constexpr int kSubframe = Decoder::kSubframeSamples;

// Bandwidth expansion factors of the noise-shaping filter Ap3(z)/Ap4(z) that
// shapes the algebraic code: 0.75 and 0.85 in Q15.
constexpr Word16 kGammaNum = 24576;
constexpr Word16 kGammaDen = 27853;

// gamma^1 .. gamma^kOrder, each power rounded from the previous one.
void weightPowers(Word16 gamma, Word16 powers[kOrder])
{
    powers[0] = gamma;
    for (int i = 1; i < kOrder; ++i)
        powers[i] = roundHigh(mult32(powers[i - 1], gamma));
}

// A(z/gamma): a[i] * gamma^i.
void weightLpc(const Word16 a[kCoeffs], const Word16 powers[kOrder], Word16 out[kCoeffs])
{
    out[0] = a[0];
    for (int i = 1; i <= kOrder; ++i)
        out[i] = roundHigh(mult32(a[i], powers[i - 1]));
}

// Rounds a Q12 accumulator to Q0 with saturation: the same as adding
// 1 << 11 (saturating), shifting left by 4 with saturation and keeping the
// upper 16 bits.
inline Word16 roundQ12(Word32 s)
{
    return saturate16(static_cast<Word32>((Word64(s) + 2048) >> 12));
}

// Filters `length` (at most one subframe) samples of x through 1/A(z), a in
// Q12. mem holds the kOrder outputs preceding x (oldest first) and, when
// updateMemory is set, receives the last kOrder outputs. x, y and mem may
// overlap: all input is read before y is written.
void synthesisFilter(const Word16 a[kCoeffs], const Word16 *x, Word16 *y, int length,
                     Word16 *mem, bool updateMemory)
{
    Word16 buffer[kOrder + kSubframe];
    std::copy(mem, mem + kOrder, buffer);
    Word16 *out = buffer + kOrder;

    // Each output accumulates x[n] * 4096 and ten products a[j] * y. With
    // |x|, |y| <= 32768, no partial sum can leave the 32-bit range while
    // 32768 * (4096 + sum |a[j]|) <= kMax32; the saturating accumulation is
    // then plain integer arithmetic. Filters with larger coefficients take
    // the step-by-step saturating path.
    Word32 coeffSum = 0;
    for (int j = 1; j <= kOrder; ++j)
        coeffSum += a[j] < 0 ? -Word32(a[j]) : Word32(a[j]);
    const bool cannotOverflow = coeffSum <= (kMax32 - (Word32(1) << 27)) / 32768;

    if (cannotOverflow) {
        // Exact arithmetic: the terms may be summed in any order. The last
        // ten outputs stay in locals so that each step only waits for the
        // one before it.
        const Word32 a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4], a5 = a[5];
        const Word32 a6 = a[6], a7 = a[7], a8 = a[8], a9 = a[9], a10 = a[10];
        Word32 y1 = out[-1], y2 = out[-2], y3 = out[-3], y4 = out[-4], y5 = out[-5];
        Word32 y6 = out[-6], y7 = out[-7], y8 = out[-8], y9 = out[-9], y10 = out[-10];
        for (int n = 0; n < length; ++n) {
            Word32 s = Word32(x[n]) * 4096 - a10 * y10 - a9 * y9 - a8 * y8 - a7 * y7
                - a6 * y6 - a5 * y5 - a4 * y4 - a3 * y3 - a2 * y2;
            s -= a1 * y1;
            const Word16 v = roundQ12(s);
            out[n] = v;
            y10 = y9; y9 = y8; y8 = y7; y7 = y6; y6 = y5;
            y5 = y4; y4 = y3; y3 = y2; y2 = y1; y1 = v;
        }
    } else {
        for (int n = 0; n < length; ++n) {
            Word32 s = loadShifted(x[n], 12);
            for (int j = 1; j <= kOrder; ++j)
                s = msuPlain32(s, a[j], out[n - j]);
            out[n] = roundQ12(s);
        }
    }
    std::copy(out, out + length, y);
    if (updateMemory)
        std::copy(y + length - kOrder, y + length, mem);
}

// start + sum of squares (start >= 0), saturated: with non-negative terms
// the step-by-step saturating sum is the exact sum capped at kMax32.
Word32 energy(const Word16 *x, int length, Word32 start)
{
    Word64 sum = start;
    for (int i = 0; i < length; ++i)
        sum += Word32(x[i]) * x[i];
    return sum > kMax32 ? kMax32 : static_cast<Word32>(sum);
}

// Energy (Q20) of the first subframe of the impulse response of 1/A(z).
Word32 impulseEnergy(const Word16 a[kCoeffs])
{
    Word16 h[kSubframe] = {1024}; // unit impulse in Q10
    Word16 zeroMemory[kOrder] = {};
    synthesisFilter(a, h, h, kSubframe, zeroMemory, false);
    return energy(h, kSubframe, 0);
}

// Coefficients f[0..5] (Q24) of the product over five LSPs x of
// (1 - 2x z^-1 + z^-2), the LSPs taken from every second entry of lsp.
void lspPolynomial(const Word16 *lsp, Word32 f[6])
{
    f[0] = loadShifted(4096, 12);     // 1.0
    f[1] = subShifted(0, lsp[0], 10); // -2 lsp[0]
    for (int i = 2; i <= 5; ++i) {
        const Word16 x = lsp[2 * (i - 1)];
        f[i] = f[i - 2];
        for (int k = i; k >= 2; --k) {
            Word16 hi;
            Word16 lo;
            splitDpf(f[k - 1], hi, lo);
            const Word32 t = shl32(multDpf(hi, lo, x), 1); // 2x f[k-1]
            f[k] = add32(f[k], f[k - 2]);
            f[k] = sub32(f[k], t);
        }
        f[1] = subShifted(f[1], x, 10);
    }
}

// LPC coefficients a[0..10] (Q12) of ten LSPs (cosine domain, Q15).
void lspToLpc(const Word16 lsp[kOrder], Word16 a[kCoeffs])
{
    Word32 f1[6];
    Word32 f2[6];
    lspPolynomial(&lsp[0], f1);
    lspPolynomial(&lsp[1], f2);
    for (int i = 5; i > 0; --i) {
        f1[i] = add32(f1[i], f1[i - 1]); // times (1 + z^-1)
        f2[i] = sub32(f2[i], f2[i - 1]); // times (1 - z^-1)
    }
    a[0] = 4096;
    for (int i = 1, j = kOrder; i <= 5; ++i, --j) {
        a[i] = extractLow(shrRound32(add32(f1[i], f2[i]), 13));
        a[j] = extractLow(shrRound32(sub32(f1[i], f2[i]), 13));
    }
}

// One sample of the past excitation x delayed by a third of a sample: the
// 32-tap filter coef applied to x[first .. first + 31].
Word16 interpolate(const Word16 *x, const Word16 coef[32], int first)
{
    // The taps' magnitudes add up to 76585: while every |x| <= 28040 no
    // partial sum can overflow and the saturating accumulation is plain
    // integer arithmetic.
    constexpr int kSafeMagnitude = 28040;
    const Word16 *window = x + first;
    int largest = 0;
    for (int i = 0; i < 32; ++i)
        largest = std::max(largest, window[i] < 0 ? -int(window[i]) : int(window[i]));

    Word32 s = 0;
    if (largest <= kSafeMagnitude) {
        for (int i = 0; i < 32; ++i)
            s += Word32(window[i]) * coef[i];
    } else {
        for (int i = 0; i < 32; ++i)
            s = macPlain32(s, window[i], coef[i]);
    }
    s = add32(s, s);
    return roundHigh(s);
}

// The algebraic code of one subframe: four pulses (positions from the 14-bit
// index, the first weighted by sqrt(2) in Q11, the others of fixed signs
// -, +, -), all moved right by `shift`, the whole negated when sign is set,
// convolved with the noise-shaping response f. f must be preceded by 64
// zeros. Result in Q12.
void decodeAlgebraicCode(Word16 index, Word16 sign, Word16 shift, const Word16 *f,
                         Word16 code[kSubframe])
{
    constexpr Word16 kGainPulse0 = 2896; // sqrt(2) in Q11

    const int pos0 = (index & 31) * 2;
    const int pos1 = ((index >> 5) & 7) * 8 + 2;
    const int pos2 = ((index >> 8) & 7) * 8 + 4;
    const int pos3 = ((index >> 11) & 7) * 8 + 6;

    const Word16 *base = f - shift;
    const Word16 *p0 = base - pos0;
    const Word16 *p1 = base - pos1;
    const Word16 *p2 = base - pos2;
    const Word16 *p3 = base - pos3;
    for (int i = 0; i < kSubframe; ++i) {
        Word32 s = multPlain32(p0[i], kGainPulse0);
        s = subShifted(s, p1[i], 11);
        s = addShifted(s, p2[i], 11);
        s = subShifted(s, p3[i], 11);
        if (sign != 0)
            s = negate32(s);
        code[i] = storeHigh(s, 5);
    }
}

// Adaptive codebook vector of one subframe, written over exc[0..59] from
// the excitation before it.
void predictLongTerm(Word16 *exc, int lag, int fraction)
{
    // exc[n] = exc[n - lag + fraction / 3], sample by sample so that lags
    // shorter than the subframe repeat the samples just produced.
    if (fraction == 0) {
        for (int n = 0; n < kSubframe; ++n)
            exc[n] = exc[n - lag];
    } else if (fraction == 1) {
        for (int n = 0; n < kSubframe; ++n)
            exc[n] = interpolate(&exc[n - lag], kInterpPlusThird, -16);
    } else if (fraction == -1) {
        for (int n = 0; n < kSubframe; ++n)
            exc[n] = interpolate(&exc[n - lag], kInterpMinusThird, -15);
    }
}

} // namespace

Decoder::Decoder()
{
    reset();
}

void Decoder::reset()
{
    weightPowers(kGammaNum, m_weightNum);
    weightPowers(kGammaDen, m_weightDen);

    std::fill(std::begin(m_excitation), std::end(m_excitation), Word16(0));
    static constexpr Word16 kInitialLsp[kOrder] = {30000, 26000, 21000, 15000, 8000,
                                                   0, -8000, -15000, -21000, -26000};
    std::copy(std::begin(kInitialLsp), std::end(kInitialLsp), m_lspOld);
    std::fill(std::begin(m_lspNew), std::end(m_lspNew), Word16(0));
    std::fill(std::begin(m_synthMemory), std::end(m_synthMemory), Word16(0));
    std::fill(std::begin(m_lastGoodParams), std::end(m_lastGoodParams), Word16(0));
    m_lastLag = 60;
    m_lastPitchEnergy = 0;
    m_lastCodeEnergy = 0;
}

void Decoder::decodeLsp(const Word16 index[3])
{
    Word16 lsp[kOrder];
    std::copy_n(&kLspBook1[index[0] * 3], 3, &lsp[0]);
    std::copy_n(&kLspBook2[index[1] * 3], 3, &lsp[3]);
    std::copy_n(&kLspBook3[index[2] * 4], 4, &lsp[6]);

    // Keep at least 0.028 (about 50 Hz near 1000 Hz) between LSPs 2 and 3
    // and 0.038 (about 50 Hz near 1600 Hz) between LSPs 5 and 6, where the
    // codebooks meet.
    Word16 overlap = add16(sub16(917, lsp[2]), lsp[3]);
    if (overlap > 0) {
        overlap = shr16(overlap, 1);
        lsp[2] = add16(lsp[2], overlap);
        lsp[3] = sub16(lsp[3], overlap);
    }
    overlap = add16(sub16(1245, lsp[5]), lsp[6]);
    if (overlap > 0) {
        overlap = shr16(overlap, 1);
        lsp[5] = add16(lsp[5], overlap);
        lsp[6] = sub16(lsp[6], overlap);
    }

    // An unordered set would make an unstable filter: keep the old LSPs.
    bool ordered = true;
    for (int i = 0; i < kOrder - 1; ++i) {
        if (sub16(lsp[i], lsp[i + 1]) <= 0)
            ordered = false;
    }
    const Word16 *chosen = ordered ? lsp : m_lspOld;
    std::copy(chosen, chosen + kOrder, m_lspNew);
}

void Decoder::interpolateLpc(Word16 a[kSubframes * kCoeffs]) const
{
    // Subframes 1-3 use 3/4, 1/2 and 1/4 of the old LSPs, subframe 4 the new.
    Word16 weightNew = 8192;
    Word16 weightOld = 24576;
    Word16 lsp[kOrder];
    for (int sf = 0; sf < kSubframes - 1; ++sf) {
        for (int i = 0; i < kOrder; ++i)
            lsp[i] = extractHigh(mac32(mult32(m_lspOld[i], weightOld), m_lspNew[i], weightNew));
        lspToLpc(lsp, &a[sf * kCoeffs]);
        weightOld = sub16(weightOld, 8192);
        weightNew = add16(weightNew, 8192);
    }
    lspToLpc(m_lspNew, &a[(kSubframes - 1) * kCoeffs]);
}

void Decoder::decodeGains(Word16 index, bool bad, const Word16 a[kCoeffs],
                          const Word16 *adaptive, const Word16 *code, Word16 &pitchGain,
                          Word16 &codeGain)
{
    Word16 exponent;
    Word16 fraction;

    // Energy of the synthesis filter's impulse response, normalised.
    Word32 t = impulseEnergy(a);
    const int lpcShift = norm32(t);
    const Word16 lpcEnergy = extractHigh(shl32(t, lpcShift));

    // log2 of the adaptive codebook energy through the filter (Q8).
    t = energy(adaptive, kSubframeSamples, 1); // 1 avoids log2(0)
    Word16 pitchShift = static_cast<Word16>(norm32(t));
    Word16 pitchEnergy = extractHigh(shl32(t, pitchShift));
    t = multPlain32(pitchEnergy, lpcEnergy);
    pitchShift = add16(pitchShift, static_cast<Word16>(lpcShift));
    log2Q15(t, exponent, fraction);
    t = loadShifted16(exponent);
    t = addShifted(t, fraction, 1);
    t = subShifted16(t, pitchShift);
    t = addShifted(t, 1710, 8); // +6.68 (Q16): scaling of the energy table
    t = shr32(t, 8);
    pitchEnergy = extractLow(t);

    // log2 of the algebraic code energy through the filter (Q8).
    t = energy(code, kSubframeSamples, 0);
    Word16 codeEnergy = extractHigh(t);
    t = multPlain32(codeEnergy, lpcEnergy);
    log2Q15(t, exponent, fraction);
    t = loadShifted16(exponent);
    t = addShifted(t, fraction, 1);
    t = subShifted16(t, static_cast<Word16>(lpcShift));
    t = subShifted(t, 4434, 8); // -17.32 (Q16): code in Q12 and table scaling
    t = shr32(t, 8);
    codeEnergy = extractLow(t);

    if (bad) {
        // Fade out: lower both energies by 0.5 (Q8), not below 0.
        m_lastPitchEnergy = std::max<Word16>(sub16(m_lastPitchEnergy, 128), 0);
        m_lastCodeEnergy = std::max<Word16>(sub16(m_lastCodeEnergy, 128), 0);
    } else {
        // Predictions 0.5 * own + 0.25 * other - 3.0 (not below 0), plus the
        // quantised prediction errors.
        t = loadShifted(m_lastPitchEnergy, 8);
        t = addShifted(t, m_lastCodeEnergy, 7);
        t = subShifted(t, 768, 9);
        const Word16 pitchPrediction = storeHigh(std::max<Word32>(t, 0), 7);

        t = loadShifted(m_lastCodeEnergy, 8);
        t = addShifted(t, m_lastPitchEnergy, 7);
        t = subShifted(t, 768, 9);
        const Word16 codePrediction = storeHigh(std::max<Word32>(t, 0), 7);

        const int j = shl16(index, 1);
        m_lastPitchEnergy = add16(kEnergyBook[j], pitchPrediction);
        m_lastCodeEnergy = add16(kEnergyBook[j + 1], codePrediction);

        // Limits against transmission errors: 27.0 and 25.0 (Q8).
        if (sub16(m_lastPitchEnergy, 6912) > 0)
            m_lastPitchEnergy = 6912;
        if (sub16(m_lastCodeEnergy, 6400) > 0)
            m_lastCodeEnergy = 6400;
    }

    // Pitch gain 2^((last - measured) / 2) in Q12, at most 1.2.
    t = loadShifted(m_lastPitchEnergy, 6);
    t = subShifted(t, pitchEnergy, 6);
    t = addShifted(t, 12, 15);
    splitDpf(t, exponent, fraction);
    t = pow2Q15(exponent, fraction);
    if (sub32(t, 4915) > 0)
        t = 4915;
    pitchGain = extractLow(t);

    // Code gain 2^((last - measured) / 2) in Q0.
    t = loadShifted(m_lastCodeEnergy, 6);
    t = subShifted(t, codeEnergy, 6);
    splitDpf(t, exponent, fraction);
    t = pow2Q15(exponent, fraction);
    codeGain = extractLow(t);
}

void Decoder::decodeFrame(const Word16 params[kParams], Word16 synth[kFrameSamples])
{
    const bool bad = params[0] != 0;

    // Speech parameters of this frame, or of the last good one for a bad
    // frame. Masking to the field widths keeps every table index and lag in
    // range whatever the caller passes.
    Word16 prm[kSpeechParams];
    if (!bad) {
        for (int i = 0; i < kSpeechParams; ++i)
            prm[i] = static_cast<Word16>(params[i + 1] & ((1 << kParamBits[i + 1]) - 1));
        decodeLsp(prm);
        std::copy(prm, prm + kSpeechParams, m_lastGoodParams);
    } else {
        // The previous frame's LSPs, except LSP 0, which the standard's
        // decoder leaves as it was. After any frame it already equals the
        // previous LSP 0; only a bad frame straight after reset sees the
        // reset value 0, and the standard decoder's output depends on it.
        for (int i = 1; i < kOrder; ++i)
            m_lspNew[i] = m_lspOld[i];
        std::copy(m_lastGoodParams, m_lastGoodParams + kSpeechParams, prm);
    }

    Word16 a[kSubframes * kCoeffs];
    interpolateLpc(a);
    std::copy(m_lspNew, m_lspNew + kOrder, m_lspOld);

    Word16 *exc = m_excitation + kHistory;
    // Noise-shaping response of the subframe, preceded by 64 zeros for the
    // pulse positions that reach before the subframe start.
    Word16 shaping[64 + kSubframeSamples] = {};
    Word16 *f = shaping + 64;
    Word16 code[kSubframeSamples];

    const Word16 *p = prm + 3;
    Word16 lag = 0;
    Word16 lagFraction = 0;
    Word16 lagMin = 0;
    for (int sf = 0; sf < kSubframes; ++sf) {
        Word16 *subExc = exc + sf * kSubframeSamples;
        const Word16 *subA = a + sf * kCoeffs;

        // Pitch lag in thirds of a sample: absolute in subframe 1, relative
        // to a window of ten lags around it in the others. Bad frames repeat
        // the last lag.
        Word16 index = *p++;
        if (sf == 0) {
            if (bad) {
                lag = m_lastLag;
                lagFraction = 0;
            } else if (index < 197) {
                // lag = (index + 2) / 3 + 19, fraction = index - 3 lag + 58
                const Word16 i = mult16(add16(index, 2), 10923); // 1/3 in Q15
                lag = add16(i, 19);
                lagFraction = add16(index, sub16(58, add16(lag, add16(lag, lag))));
            } else {
                lag = sub16(index, 112);
                lagFraction = 0;
            }
            lagMin = std::max<Word16>(sub16(lag, 5), kPitchMin);
            if (add16(lagMin, 9) > kPitchMax)
                lagMin = sub16(kPitchMax, 9);
        } else if (!bad) {
            // lag = lagMin + (index + 2) / 3 - 1, fraction = index - 2 - 3 i
            Word16 i = sub16(mult16(add16(index, 2), 10923), 1);
            lag = add16(lagMin, i);
            i = add16(i, add16(i, i));
            lagFraction = sub16(index, add16(i, 2));
        }
        predictLongTerm(subExc, lag, lagFraction);

        // Noise-shaping filter Ap3(z) / Ap4(z) plus a pitch sharpening of
        // 0.8 (Q15) at the lag, as an impulse response over the subframe.
        Word16 ap3[kCoeffs];
        Word16 ap4[kCoeffs];
        weightLpc(subA, m_weightNum, ap3);
        weightLpc(subA, m_weightDen, ap4);
        std::copy(ap3, ap3 + kCoeffs, f);
        std::fill(f + kCoeffs, f + kSubframeSamples, Word16(0));
        synthesisFilter(ap4, f, f, kSubframeSamples, &f[kCoeffs], false);
        for (int i = lag; i < kSubframeSamples; ++i)
            f[i] = add16(f[i], mult16(f[i - lag], 26216));

        const Word16 codeIndex = *p++;
        const Word16 sign = *p++;
        const Word16 shift = *p++;
        decodeAlgebraicCode(codeIndex, sign, shift, f, code);

        Word16 pitchGain;
        Word16 codeGain;
        decodeGains(*p++, bad, subA, subExc, code, pitchGain, codeGain);

        // Total excitation: adaptive (Q0) times pitch gain (Q12) plus code
        // (Q12) times code gain (Q0), back to Q0. The 16-bit store wraps.
        for (int i = 0; i < kSubframeSamples; ++i) {
            Word32 t = multPlain32(subExc[i], pitchGain);
            t = macPlain32(t, code[i], codeGain);
            subExc[i] = static_cast<Word16>(shrRound32(t, 12));
        }

        synthesisFilter(subA, subExc, synth + sf * kSubframeSamples, kSubframeSamples,
                        m_synthMemory, true);
    }

    std::copy(m_excitation + kFrameSamples, m_excitation + kFrameSamples + kHistory,
              m_excitation);
    m_lastLag = lag;
}

} // namespace tetra
