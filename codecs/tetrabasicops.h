#pragma once

#include <cstdint>

// Fixed-point arithmetic of the TETRA speech decoder.
//
// Words are 16- and 32-bit two's complement integers. Every operation
// saturates at the range of its result instead of wrapping, exactly as the
// codec's bit-exact arithmetic defines it; the decoder only reproduces the
// reference output when each step rounds and saturates the same way. Plain
// C++ arithmetic may stand in for a chain of these only where no step can
// saturate.
//
// Q notation gives the number of fractional bits: a Q15 word w stands for
// w / 32768, a Q12 word for w / 4096.
//
// "DPF" (double precision format) is the codec's split representation of a
// 31-bit value as hi * 2^15 + lo, both 16-bit signed words, lo in 0..32767.
namespace tetra {

using Word16 = std::int16_t;
using Word32 = std::int32_t;
using Word64 = std::int64_t;

constexpr Word16 kMax16 = 32767;
constexpr Word16 kMin16 = -32768;
constexpr Word32 kMax32 = 2147483647;
constexpr Word32 kMin32 = -2147483647 - 1;

// --- 16-bit operations -----------------------------------------------------

inline Word16 saturate16(Word32 value)
{
    if (value > kMax16)
        return kMax16;
    if (value < kMin16)
        return kMin16;
    return static_cast<Word16>(value);
}

inline Word16 add16(Word16 a, Word16 b) { return saturate16(Word32(a) + b); }
inline Word16 sub16(Word16 a, Word16 b) { return saturate16(Word32(a) - b); }

// Q15 product (a * b) >> 15, rounded toward minus infinity; -1 * -1 gives 32767.
inline Word16 mult16(Word16 a, Word16 b) { return saturate16((Word32(a) * b) >> 15); }

inline Word16 shr16(Word16 a, int shift);

// a << shift with saturation; a negative shift shifts right.
inline Word16 shl16(Word16 a, int shift)
{
    if (shift < 0)
        return shr16(a, -shift);
    if (shift > 15)
        return a == 0 ? Word16(0) : (a > 0 ? kMax16 : kMin16);
    const Word32 result = Word32(a) * (Word32(1) << shift);
    if (result != Word32(static_cast<Word16>(result)))
        return a > 0 ? kMax16 : kMin16;
    return static_cast<Word16>(result);
}

// Arithmetic a >> shift; a negative shift shifts left with saturation.
inline Word16 shr16(Word16 a, int shift)
{
    if (shift < 0)
        return shl16(a, -shift);
    if (shift >= 15)
        return a < 0 ? Word16(-1) : Word16(0);
    return static_cast<Word16>(a >> shift);
}

// Upper and lower halves of a 32-bit word (the lower half wraps).
inline Word16 extractHigh(Word32 value) { return static_cast<Word16>(value >> 16); }
inline Word16 extractLow(Word32 value) { return static_cast<Word16>(value); }

// --- 32-bit operations -----------------------------------------------------

inline Word32 saturate32(Word64 value)
{
    if (value > kMax32)
        return kMax32;
    if (value < kMin32)
        return kMin32;
    return static_cast<Word32>(value);
}

inline Word32 add32(Word32 a, Word32 b) { return saturate32(Word64(a) + b); }
inline Word32 sub32(Word32 a, Word32 b) { return saturate32(Word64(a) - b); }

inline Word32 negate32(Word32 a) { return a == kMin32 ? kMax32 : -a; }

// a * b * 2 (Q15 x Q15 -> Q31); -32768 * -32768 saturates to kMax32.
inline Word32 mult32(Word16 a, Word16 b)
{
    const Word32 product = Word32(a) * b;
    return product == 0x40000000 ? kMax32 : product * 2;
}

// Plain product a * b (cannot overflow).
inline Word32 multPlain32(Word16 a, Word16 b) { return Word32(a) * b; }

inline Word32 mac32(Word32 acc, Word16 a, Word16 b) { return add32(acc, mult32(a, b)); }
inline Word32 msu32(Word32 acc, Word16 a, Word16 b) { return sub32(acc, mult32(a, b)); }
inline Word32 macPlain32(Word32 acc, Word16 a, Word16 b) { return add32(acc, multPlain32(a, b)); }
inline Word32 msuPlain32(Word32 acc, Word16 a, Word16 b) { return sub32(acc, multPlain32(a, b)); }

inline Word32 shr32(Word32 value, int shift);

// value << shift with saturation; a negative shift shifts right.
inline Word32 shl32(Word32 value, int shift)
{
    if (shift <= 0)
        return shr32(value, -shift);
    if (shift >= 31)
        return value == 0 ? 0 : (value > 0 ? kMax32 : kMin32);
    if (value > (kMax32 >> shift))
        return kMax32;
    if (value < (kMin32 >> shift))
        return kMin32;
    return static_cast<Word32>(static_cast<std::uint32_t>(value) << shift);
}

// Arithmetic value >> shift; a negative shift shifts left with saturation.
inline Word32 shr32(Word32 value, int shift)
{
    if (shift < 0)
        return shl32(value, -shift);
    if (shift >= 31)
        return value < 0 ? -1 : 0;
    return value >> shift;
}

// value >> shift rounded to nearest (ties up); shifts over 31 give 0.
inline Word32 shrRound32(Word32 value, int shift)
{
    if (shift > 31)
        return 0;
    Word32 result = shr32(value, shift);
    if (shift > 0 && (value & (Word32(1) << (shift - 1))) != 0)
        ++result;
    return result;
}

// Upper half of value rounded to nearest, with saturation.
inline Word16 roundHigh(Word32 value) { return extractHigh(add32(value, 0x8000)); }

inline Word32 depositHigh(Word16 value) { return Word32(value) * 65536; }

// Left shifts that normalise a non-zero value into [2^30, 2^31) or
// [-2^31, -2^30); 0 for 0 and 31 for -1.
inline int norm32(Word32 value)
{
    if (value == 0)
        return 0;
    if (value == -1)
        return 31;
    const std::uint32_t magnitude = static_cast<std::uint32_t>(value < 0 ? ~value : value);
    return __builtin_clz(magnitude) - 1;
}

// --- Shifted loads and accumulations -----------------------------------------
// These keep the reference formulation (a multiply by a power of two folded
// into a multiply-accumulate) so that saturation at the extremes matches.

// acc + (v << shift), shift 0..15.
inline Word32 addShifted(Word32 acc, Word16 v, int shift)
{
    return msuPlain32(acc, v, static_cast<Word16>(-(1 << shift)));
}

// acc - (v << shift), shift 0..15.
inline Word32 subShifted(Word32 acc, Word16 v, int shift)
{
    return macPlain32(acc, v, static_cast<Word16>(-(1 << shift)));
}

// acc + (v << 16) and acc - (v << 16).
inline Word32 addShifted16(Word32 acc, Word16 v) { return msu32(acc, v, kMin16); }
inline Word32 subShifted16(Word32 acc, Word16 v) { return mac32(acc, v, kMin16); }

// v << shift (shift 0..15) and v << 16 as 32-bit words.
inline Word32 loadShifted(Word16 v, int shift) { return addShifted(0, v, shift); }
inline Word32 loadShifted16(Word16 v) { return addShifted16(0, v); }

// The 16 bits of value from bit 16 - shift up: (value >> (16 - shift))
// truncated to 16 bits, shift 0..7.
inline Word16 storeHigh(Word32 value, int shift) { return extractLow(shr32(value, 16 - shift)); }

// Splits a 31-bit value into DPF hi and lo.
inline void splitDpf(Word32 value, Word16 &hi, Word16 &lo)
{
    hi = extractHigh(shl32(value, 1));
    lo = extractLow(subShifted(value, hi, 15));
}

// DPF (hi, lo) times a 16-bit word, divided by 2^15: hi * b + (lo * b) >> 15.
inline Word32 multDpf(Word16 hi, Word16 lo, Word16 b)
{
    const Word16 low = extractHigh(multPlain32(lo, b));
    return addShifted(multPlain32(hi, b), low, 1);
}

// --- Functions ---------------------------------------------------------------

// log2(value) for value > 0 as an integer part (0..30) and a Q15 fraction,
// by table and linear interpolation; 0, 0 for value <= 0.
void log2Q15(Word32 value, Word16 &exponent, Word16 &fraction);

// 2^(exponent + fraction / 32768) for a Q15 fraction 0..32767, by table and
// linear interpolation, rounded.
Word32 pow2Q15(Word16 exponent, Word16 fraction);

} // namespace tetra
