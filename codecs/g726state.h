#pragma once

#include <QtGlobal>

// Adaptive state of one G.726 ADPCM channel at 32 kbit/s (4-bit codewords),
// shared by the decoder (G726Codec) and the encoder (G726Encoder): both run
// the same inverse quantiser, predictor and adaptation, so an encoder and a
// decoder fed the same codewords stay in lock step.
//
// Arithmetic follows the Recommendation's fixed-point description exactly:
// signals are 14-bit linear values (the encoder's input and the decoder's
// output range is -8192..8191 before limiting), the step-size scale factors
// and the predictor coefficients keep their bit-level scalings, and the
// predictor products use the 11-bit floating-point multiplication (FMULT).
// The per-sample steps are defined in this header so that the decoder's and
// the encoder's loops can be compiled together with them; they use integer
// arithmetic only and never allocate.
class G726State
{
public:
    G726State() { reset(); }

    // Returns every variable to its reset value.
    void reset();

    // Runs one decoder step for codeword `code` (0..15) and returns the
    // reconstructed signal sr, not limited (range about -27200..27200).
    inline int decode(int code);

    // Runs one encoder step for the 14-bit linear input sl (-8192..8191):
    // returns the codeword and updates the state exactly as decode() of that
    // codeword would.
    inline int encode(int sl);

private:
    // A value in the Recommendation's 11-bit floating-point format (sign,
    // 4-bit exponent, 6-bit mantissa), kept split into its fields so that
    // the predictor products need no unpacking. Zero has exponent 0 and
    // mantissa 32; the reset value of the histories is +0.
    struct Float
    {
        qint32 mant; // 32..63 (top bit set; zero is held as 32)
        qint32 exp;  // 0..15: number of significant bits of the magnitude
        qint32 sign; // -1 = negative, 0 = positive (a mask)
    };

    // Signal estimate se and partial (six-zero) estimate sez, both 15-bit.
    inline void predict(int &se, int &sez) const;
    // Quantiser scale factor y (Q9 of log2), mixed from yu and yl by ap.
    inline int scaleFactor() const;
    // Magnitude of the quantised difference for codeword `code` (14-bit).
    static inline int dequantise(int code, int y);
    // Adaptation of every variable after one codeword.
    inline void update(int code, int y, int dqMag, int sr, int dqsez);

    static inline int fmult(int an, const Float &srn);
    static inline Float toFloat(int magnitude, bool negative);
    static inline int bitLength(int value);
    // Two's complement wrap to 16 bits (modulo 2^16: defined since C++20 and
    // done so by every supported compiler before).
    static inline int wrap16(int value) { return static_cast<qint16>(value); }

    // Variables in the Recommendation's scaling, named as there.
    qint32 m_yl;     // slow scale factor, Q15 of log2 (19 bits)
    qint32 m_yu;     // fast scale factor, Q9 of log2, 544..5120
    qint32 m_dms;    // short-term average of F(I), Q9
    qint32 m_dml;    // long-term average of F(I), Q11
    qint32 m_ap;     // speed control, Q8, 0..512
    qint32 m_a[2];   // pole coefficients a1, a2, Q14 two's complement
    qint32 m_b[6];   // zero coefficients b1..b6, Q14, kept to 16 bits
    qint32 m_pk[2];  // signs (1 = negative) of the last two dq + sez
    Float m_dq[6];   // last six quantised differences
    Float m_sr[2];   // last two reconstructed signals
    qint32 m_td;     // tone detector flag

    // Tables for 4-bit codewords, indexed by the codeword.
    static const qint16 kDqln[16];  // log quantiser output, Q7 of log2
    static const qint16 kW[16];     // scale-factor multiplier, Q4 (x32 before use)
    static const qint16 kF[16];     // speed-control function, Q9
    // Exponent << 6 | mantissa of every coefficient magnitude 0..8191; entry
    // 8192 (from -32768) repeats entry 0, as the magnitude is 13 bits.
    static const quint16 *const kCoefficientFloat; // 8193 entries
};

inline int G726State::bitLength(int value)
{
    // Number of significant bits of a value in 0..32767; 0 for 0.
    return 31 - __builtin_clz(static_cast<unsigned>(value << 1) | 1u);
}

inline G726State::Float G726State::toFloat(int magnitude, bool negative)
{
    const int exp = bitLength(magnitude);
    const int mant = magnitude ? (magnitude << 6) >> exp : 32;
    return {mant, exp, negative ? -1 : 0};
}

inline int G726State::fmult(int an, const Float &srn)
{
    // Coefficient an (Q14, 16-bit two's complement) times a float value.
    // The magnitude of an is cut to 13 bits of An >> 2 as the Recommendation
    // does (so -32768 has magnitude 0), the mantissa product is rounded, and
    // the result is a 16-bit two's complement value. Written without
    // branches: this runs eight times per sample.
    const int an4 = an >> 2;
    const int anSign = an4 >> 31; // 0 or -1
    const int anFloat = kCoefficientFloat[(an4 ^ anSign) - anSign];
    const int wanExp = (anFloat >> 6) + srn.exp; // 0..28
    const int wanMant = ((anFloat & 63) * srn.mant + 48) >> 4;
    // (wanMant << 7) scaled by 2^(wanExp - 26), kept to 15 bits.
    const int wanMag = ((wanMant << 9) >> (28 - wanExp)) & 32767;
    const int sign = anSign ^ srn.sign; // 0 or -1
    return (wanMag ^ sign) - sign;
}

inline void G726State::predict(int &se, int &sez) const
{
    int sezi = fmult(m_b[0], m_dq[0]) + fmult(m_b[1], m_dq[1]) + fmult(m_b[2], m_dq[2])
            + fmult(m_b[3], m_dq[3]) + fmult(m_b[4], m_dq[4]) + fmult(m_b[5], m_dq[5]);
    sezi = wrap16(sezi);
    const int sei = wrap16(sezi + fmult(m_a[1], m_sr[1]) + fmult(m_a[0], m_sr[0]));
    sez = sezi >> 1;
    se = sei >> 1;
}

inline int G726State::scaleFactor() const
{
    const int al = m_ap >= 256 ? 64 : m_ap >> 2;
    const int ylShort = m_yl >> 6;
    const int dif = m_yu - ylShort;
    // Product truncated toward zero (sign-magnitude multiply).
    const int prod = dif >= 0 ? (dif * al) >> 6 : -((-dif * al) >> 6);
    return ylShort + prod;
}

inline int G726State::dequantise(int code, int y)
{
    const int dql = kDqln[code] + (y >> 2);
    if (dql < 0)
        return 0;
    const int dex = dql >> 7;
    const int dqt = 128 + (dql & 127);
    return (dqt << 7) >> (14 - dex);
}

inline int G726State::decode(int code)
{
    int se, sez;
    predict(se, sez);
    const int y = scaleFactor();
    const int dqMag = dequantise(code, y);
    const int dq = (code & 8) ? -dqMag : dqMag;
    const int sr = se + dq;
    update(code, y, dqMag, sr, dq + sez);
    return sr;
}

inline int G726State::encode(int sl)
{
    int se, sez;
    predict(se, sez);
    const int y = scaleFactor();

    // Difference signal in the log domain (LOG, SUBTB).
    const int d = sl - se;
    const int dqm = d < 0 ? -d : d;
    const int exp = dqm ? bitLength(dqm) - 1 : 0;
    const int dl = (exp << 7) + (((dqm << 7) >> exp) & 127);
    const int dln = dl - (y >> 2);

    // Adaptive quantiser (QUAN): magnitude class from the decision levels.
    int mag;
    if (dln >= 300)
        mag = dln >= 400 ? 7 : dln >= 349 ? 6 : 5;
    else if (dln >= 178)
        mag = dln >= 246 ? 4 : 3;
    else
        mag = dln >= 80 ? 2 : dln >= -124 ? 1 : 0;
    // A zero magnitude is always sent as the negative-zero codeword 15.
    const int code = d < 0 ? 15 - mag : (mag ? mag : 15);

    const int dqMag = dequantise(code, y);
    const int dq = (code & 8) ? -dqMag : dqMag;
    update(code, y, dqMag, se + dq, dq + sez);
    return code;
}

inline void G726State::update(int code, int y, int dqMag, int sr, int dqsez)
{
    const bool dqNeg = (code & 8) != 0;

    // Tone and transition detector (TRANS): a large difference while a tone
    // was flagged means a transition, which resets the predictor.
    bool tr = false;
    if (m_td) {
        const int ylint = m_yl >> 15;
        const int ylfrac = (m_yl >> 10) & 31;
        const int thr2 = ylint > 9 ? 31 << 10 : (32 + ylfrac) << ylint;
        const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
        tr = dqMag > dqthr;
    }

    // Scale factor adaptation (FUNCTW, FILTD, LIMB, FILTE).
    int yu = y + ((kW[code] * 32 - y) >> 5);
    yu = yu < 544 ? 544 : yu > 5120 ? 5120 : yu;
    m_yu = yu;
    m_yl += yu + ((-m_yl) >> 6);

    // Predictor coefficients (UPA2, LIMC, UPA1, LIMD, UPB, TRIGB).
    const int pk0 = dqsez < 0;
    const bool sigpk = dqsez == 0;
    int a2p = m_a[1] - (m_a[1] >> 7);
    if (!sigpk) {
        const int a1 = m_a[0] < -8191 ? -8191 : m_a[0] > 8191 ? 8191 : m_a[0];
        const int fa = (pk0 ^ m_pk[0]) ? 4 * a1 : -4 * a1;
        const int uga2a = (pk0 ^ m_pk[1]) ? -16384 : 16384;
        a2p += (uga2a + fa) >> 7;
    }
    a2p = a2p < -12288 ? -12288 : a2p > 12288 ? 12288 : a2p;

    if (tr) {
        m_a[0] = m_a[1] = 0;
        for (int i = 0; i < 6; ++i)
            m_b[i] = 0;
    } else {
        int a1p = m_a[0] - (m_a[0] >> 8);
        if (!sigpk)
            a1p += (pk0 ^ m_pk[0]) ? -192 : 192;
        const int a1ul = 15360 - a2p;
        m_a[0] = a1p < -a1ul ? -a1ul : a1p > a1ul ? a1ul : a1p;
        m_a[1] = a2p;

        // Each zero coefficient leaks 2^-8 and moves 2^-7 towards the sign
        // agreement of dq and its delayed value, unless dq is 0.
        const int step = dqMag ? 128 : 0;
        const int dqSign = dqNeg ? -1 : 0;
#pragma GCC unroll 6
        for (int i = 0; i < 6; ++i) {
            const int differ = dqSign ^ m_dq[i].sign; // -1 when the signs differ
            m_b[i] = wrap16(m_b[i] - (m_b[i] >> 8) + ((step ^ differ) - differ));
        }
    }

    // Delay lines (FLOATA, FLOATB).
    m_dq[5] = m_dq[4];
    m_dq[4] = m_dq[3];
    m_dq[3] = m_dq[2];
    m_dq[2] = m_dq[1];
    m_dq[1] = m_dq[0];
    m_dq[0] = toFloat(dqMag, dqNeg);
    m_sr[1] = m_sr[0];
    m_sr[0] = toFloat((sr < 0 ? -sr : sr) & 32767, sr < 0);
    m_pk[1] = m_pk[0];
    m_pk[0] = pk0;

    // Tone detector (TONE): strongly negative a2 suggests a tone.
    const int tdp = a2p < -11776;
    m_td = tr ? 0 : tdp;

    // Adaptation speed control (FILTA, FILTB, SUBTC, FILTC, TRIGA).
    const int fi = kF[code];
    m_dms += (fi - m_dms) >> 5;
    m_dml += (fi * 4 - m_dml) >> 7;
    if (tr) {
        m_ap = 256;
    } else {
        const int dif = m_dms * 4 - m_dml;
        const bool fast = y < 1536 || tdp || (dif < 0 ? -dif : dif) >= (m_dml >> 3);
        m_ap += ((fast ? 512 : 0) - m_ap) >> 4;
    }
}
