#include "g726state.h"

// Tables of the Recommendation for 32 kbit/s, indexed by codeword; codewords
// 8..15 mirror 0..7 (sign bit set).
const qint16 G726State::kDqln[16] = {-2048, 4,   135, 213, 273, 323, 373, 425,
                                     425,   373, 323, 273, 213, 135, 4,   -2048};
const qint16 G726State::kW[16] = {-12, 18,  41,  64,  112, 198, 355, 1122,
                                  1122, 355, 198, 112, 64,  41,  18,  -12};
const qint16 G726State::kF[16] = {0,    0,    0,   512, 512, 512, 1536, 3584,
                                  3584, 1536, 512, 512, 512, 0,   0,    0};

namespace {

// Exponent << 6 | mantissa of the 11-bit float of every magnitude 0..8191,
// as FMULT forms it: the exponent is the number of significant bits, the
// mantissa the top six of them (32 for a zero magnitude). The extra entry
// 8192 is the magnitude of -32768, which 13 bits hold as 0.
struct CoefficientFloats
{
    quint16 value[8193];

    constexpr CoefficientFloats() : value()
    {
        for (int index = 0; index <= 8192; ++index) {
            const int mag = index & 8191;
            int exp = 0;
            while ((mag >> exp) != 0)
                ++exp;
            const int mant = mag ? (mag << 6) >> exp : 32;
            value[index] = static_cast<quint16>((exp << 6) | mant);
        }
    }
};

constexpr CoefficientFloats kCoefficientFloats;

} // namespace

const quint16 *const G726State::kCoefficientFloat = kCoefficientFloats.value;

void G726State::reset()
{
    m_yl = 34816;
    m_yu = 544;
    m_dms = 0;
    m_dml = 0;
    m_ap = 0;
    m_a[0] = m_a[1] = 0;
    for (qint32 &b : m_b)
        b = 0;
    m_pk[0] = m_pk[1] = 0;
    for (Float &dq : m_dq)
        dq = Float{32, 0, 0}; // +0
    m_sr[0] = m_sr[1] = Float{32, 0, 0};
    m_td = 0;
}
