#pragma once

#include "codecs/tetrabasicops.h"

// Constant tables of the TETRA speech decoder (ETSI EN 300 395-2). Shared,
// read-only data; every decoder keeps its own state elsewhere.
namespace tetra {

// Split vector quantiser of the ten LSPs (cosine domain, Q15): codebook 1
// holds LSPs 0-2 (256 rows of 3), codebook 2 LSPs 3-5 (512 rows of 3),
// codebook 3 LSPs 6-9 (512 rows of 4). Rows are indexed by the frame's three
// LSP parameters (8, 9 and 9 bits).
extern const Word16 kLspBook1[256 * 3];
extern const Word16 kLspBook2[512 * 3];
extern const Word16 kLspBook3[512 * 4];

// Gain quantiser: 64 pairs (pitch energy, code energy) in Q8 (log2 domain),
// indexed by the 6-bit gain parameter of each subframe.
extern const Word16 kEnergyBook[64 * 2];

// Interpolation filters of the adaptive codebook for lags of +1/3 and -1/3
// sample (Q15, 32 taps).
extern const Word16 kInterpPlusThird[32];
extern const Word16 kInterpMinusThird[32];

// log2 and 2^x on [1, 2) sampled at 33 points (Q15).
extern const Word16 kLog2Table[33];
extern const Word16 kPow2Table[33];

} // namespace tetra
