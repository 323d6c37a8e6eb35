#pragma once

#include <climits>
#include <cstdio>

// Byte layout of a raw recording and the unescaping primitives every reader
// of the raw file uses. A raw file is a sequence of frames, each starting
// with a marker byte; content bytes equal to the marker or the escape byte
// are stored as the escape byte followed by their complement.
//
// All primitives take an open FILE* positioned anywhere in the raw file and
// advance it. The FILE* must be used by one thread only (reads are unlocked).
namespace RawFormat {

constexpr int kMarker = 0xFF;      // frame start; never content
constexpr int kEscape = 0xAB;      // next stored byte is the complement of content
constexpr int kEscapeMask = 0xFF;  // content = stored byte XOR this

// Results of the primitives besides content bytes 0..255.
constexpr int kEndOfFile = -1;
constexpr int kFrameMarker = -2;

// Frame types (first logical byte of a frame).
constexpr int kTextSection = 1;
constexpr int kDataFrame = 2;

// Logical layout of a data frame.
constexpr int kDataTimeOffset = 1;     // 4 bytes, unsigned LE, ms after the base
constexpr int kDataStreamOffset = 5;   // 1 byte, signed stream number
constexpr int kDataHeaderSize = 6;     // type + time + stream; payload follows
constexpr int kDataHeaderTail = 5;     // header bytes after the type byte

// Longest piece of a text-section string read as one token, in bytes.
constexpr int kMaxToken = 128;

// The payload bytes of a stream whose frameCount frames take totalLength
// bytes in all (each frame's header left out), clamped to 0..INT_MAX: what
// its playing time is reckoned from.
inline int payloadBytes(int frameCount, int totalLength)
{
    const long long payload = static_cast<long long>(totalLength) - static_cast<long long>(kDataHeaderSize) * frameCount;
    return payload <= 0 ? 0 : payload >= INT_MAX ? INT_MAX : static_cast<int>(payload);
}

} // namespace RawFormat

// Next logical byte 0..255; RawFormat::kFrameMarker for a marker (consumed);
// RawFormat::kEndOfFile at the end (an escape byte at the very end included).
inline int readByte(FILE *file)
{
    int c = getc_unlocked(file);
    if (c == RawFormat::kEscape) {
        const int d = getc_unlocked(file);
        return d == EOF ? RawFormat::kEndOfFile : (d ^ RawFormat::kEscapeMask);
    }
    if (c == RawFormat::kMarker)
        return RawFormat::kFrameMarker;
    return c == EOF ? RawFormat::kEndOfFile : c;
}

// The loops behind readBytes and readString for any source of logical bytes
// (`next()` returns what readByte would).
template <class Next>
int readBytesWith(Next &&next, unsigned char *buffer, int maximum, int *count)
{
    int stored = 0;
    int last = 0;
    while (stored < maximum) {
        last = next();
        if (last < 0)
            break;
        buffer[stored++] = static_cast<unsigned char>(last);
    }
    *count = stored;
    return last;
}

template <class Next>
int readStringWith(Next &&next, unsigned char *buffer, int maximum, int *count)
{
    int stored = 0;
    int last = 0;
    while (stored < maximum) {
        last = next();
        if (last <= 0)
            break;
        buffer[stored++] = static_cast<unsigned char>(last);
    }
    *count = stored;
    return last;
}

// Reads up to count logical bytes, stopping early at a marker or the end.
// Returns the last value read (0 when count is 0).
int skipBytes(FILE *file, int count);

// Reads logical bytes into buffer until maximum are stored or a marker or the
// end is read. NUL bytes are stored. *count receives the number stored.
// Returns the last value read: a byte value, or kFrameMarker / kEndOfFile.
int readBytes(FILE *file, unsigned char *buffer, int maximum, int *count);

// As readBytes, but also stops at a NUL byte (not stored) and then returns 0.
// Returns the last byte value when maximum was reached first. The caller
// terminates the buffer at index *count.
int readString(FILE *file, unsigned char *buffer, int maximum, int *count);
