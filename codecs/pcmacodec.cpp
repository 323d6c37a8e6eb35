#include "pcmacodec.h"

// G.711 A-law expansion, indexed by the code as received: after undoing the
// even-bit inversion (XOR 0x55) bit 7 is the sign (set = positive), bits 4..6
// the segment and bits 0..3 the step; each entry is the middle of its
// quantisation interval in 13-bit units.
const qint16 PCMACodec::kTable[256] = {
    /* 0x00 */  -688,  -656,  -752,  -720,  -560,  -528,  -624,  -592,
    /* 0x08 */  -944,  -912, -1008,  -976,  -816,  -784,  -880,  -848,
    /* 0x10 */  -344,  -328,  -376,  -360,  -280,  -264,  -312,  -296,
    /* 0x18 */  -472,  -456,  -504,  -488,  -408,  -392,  -440,  -424,
    /* 0x20 */ -2752, -2624, -3008, -2880, -2240, -2112, -2496, -2368,
    /* 0x28 */ -3776, -3648, -4032, -3904, -3264, -3136, -3520, -3392,
    /* 0x30 */ -1376, -1312, -1504, -1440, -1120, -1056, -1248, -1184,
    /* 0x38 */ -1888, -1824, -2016, -1952, -1632, -1568, -1760, -1696,
    /* 0x40 */   -43,   -41,   -47,   -45,   -35,   -33,   -39,   -37,
    /* 0x48 */   -59,   -57,   -63,   -61,   -51,   -49,   -55,   -53,
    /* 0x50 */   -11,    -9,   -15,   -13,    -3,    -1,    -7,    -5,
    /* 0x58 */   -27,   -25,   -31,   -29,   -19,   -17,   -23,   -21,
    /* 0x60 */  -172,  -164,  -188,  -180,  -140,  -132,  -156,  -148,
    /* 0x68 */  -236,  -228,  -252,  -244,  -204,  -196,  -220,  -212,
    /* 0x70 */   -86,   -82,   -94,   -90,   -70,   -66,   -78,   -74,
    /* 0x78 */  -118,  -114,  -126,  -122,  -102,   -98,  -110,  -106,
    /* 0x80 */   688,   656,   752,   720,   560,   528,   624,   592,
    /* 0x88 */   944,   912,  1008,   976,   816,   784,   880,   848,
    /* 0x90 */   344,   328,   376,   360,   280,   264,   312,   296,
    /* 0x98 */   472,   456,   504,   488,   408,   392,   440,   424,
    /* 0xA0 */  2752,  2624,  3008,  2880,  2240,  2112,  2496,  2368,
    /* 0xA8 */  3776,  3648,  4032,  3904,  3264,  3136,  3520,  3392,
    /* 0xB0 */  1376,  1312,  1504,  1440,  1120,  1056,  1248,  1184,
    /* 0xB8 */  1888,  1824,  2016,  1952,  1632,  1568,  1760,  1696,
    /* 0xC0 */    43,    41,    47,    45,    35,    33,    39,    37,
    /* 0xC8 */    59,    57,    63,    61,    51,    49,    55,    53,
    /* 0xD0 */    11,     9,    15,    13,     3,     1,     7,     5,
    /* 0xD8 */    27,    25,    31,    29,    19,    17,    23,    21,
    /* 0xE0 */   172,   164,   188,   180,   140,   132,   156,   148,
    /* 0xE8 */   236,   228,   252,   244,   204,   196,   220,   212,
    /* 0xF0 */    86,    82,    94,    90,    70,    66,    78,    74,
    /* 0xF8 */   118,   114,   126,   122,   102,    98,   110,   106,
};

PCMACodec::PCMACodec() : AudioCodec(0)
{
}

int PCMACodec::decode(const char *in, int inBytes, qint16 *out, unsigned outCapacity,
                      int *outBytes)
{
    if (inBytes < 0 || unsigned(inBytes) > outCapacity / 2)
        return 1;
    const auto *codes = reinterpret_cast<const unsigned char *>(in);
    for (int i = 0; i < inBytes; ++i)
        out[i] = expand(codes[i]);
    if (outBytes)
        *outBytes = 2 * inBytes;
    return 0;
}

int PCMACodec::bytesForDuration(double ms) const
{
    return truncToInt(m_sampleRate * ms / 1000);
}

double PCMACodec::durationForBytes(int bytes) const
{
    return durationAt(bytes, m_sampleRate);
}

void PCMACodec::reset()
{
    // A-law has no memory.
}

double PCMACodec::durationAt(int bytes, int rate)
{
    return bytes * 1000.0 / rate;
}
