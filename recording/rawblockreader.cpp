#include "rawblockreader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
constexpr size_t kLane = 16;

// Bit i set where byte i of the 16 at p equals `value`.
inline unsigned laneMask(const unsigned char *p, __m128i value)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, value)));
}
#endif

} // namespace

RawBlockReader::RawBlockReader(size_t blockBytes)
    : m_blockBytes(qMax<size_t>(blockBytes, 1))
{
}

void RawBlockReader::attach(FILE *file)
{
    m_file = file;
    m_pos = m_end = 0;
    m_blockStart = 0;
    if (!file)
        return;
    if (!m_buffer)
        m_buffer.reset(new unsigned char[m_blockBytes]);
    m_blockStart = qMax<qint64>(0, ftello(file));
}

bool RawBlockReader::refill()
{
    if (!m_file)
        return false;
    m_blockStart += qint64(m_end);
    m_pos = 0;
    m_end = fread(m_buffer.get(), 1, m_blockBytes, m_file);
    return m_end > 0;
}

int RawBlockReader::readBytes(unsigned char *buffer, int maximum, int *count)
{
    return readBytesWith([this] { return readByte(); }, buffer, maximum, count);
}

int RawBlockReader::readString(unsigned char *buffer, int maximum, int *count)
{
    return readStringWith([this] { return readByte(); }, buffer, maximum, count);
}

// Scans for the frame's end a lane at a time: every escape in a lane hides
// the byte after it (possibly the next lane's first), and the first marker
// not hidden ends the frame. Logical bytes = stored bytes - escapes.
int RawBlockReader::skipFrame(quint64 *count)
{
    bool escaped = false; // the next stored byte is the content of an escape
    for (;;) {
        if (m_pos == m_end && !refill())
            return RawFormat::kEndOfFile;
        const unsigned char *buffer = m_buffer.get();
        size_t pos = m_pos;
        const size_t start = pos;
        quint64 escapes = 0;
        if (escaped) {
            escaped = false;
            ++pos;
        }
#if defined(__SSE2__)
        const __m128i marker = _mm_set1_epi8(char(RawFormat::kMarker));
        const __m128i escape = _mm_set1_epi8(char(RawFormat::kEscape));
        while (pos + kLane <= m_end) {
            unsigned markers = laneMask(buffer + pos, marker);
            unsigned escapeBits = laneMask(buffer + pos, escape);
            size_t advance = kLane;
            while ((markers | escapeBits) != 0) {
                const unsigned bit = unsigned(__builtin_ctz(markers | escapeBits));
                if (markers & (1u << bit)) {
                    m_pos = pos + bit + 1;
                    *count += quint64(m_pos - 1 - start) - escapes;
                    return RawFormat::kFrameMarker;
                }
                ++escapes;
                const unsigned hidden = 3u << bit; // the escape and its byte
                markers &= ~hidden;
                escapeBits &= ~hidden;
                if (bit == kLane - 1)
                    advance = kLane + 1; // its byte opens the next lane
            }
            pos += advance;
        }
#endif
        while (pos < m_end) {
            const unsigned char c = buffer[pos++];
            if (c == RawFormat::kMarker) {
                m_pos = pos;
                *count += quint64(pos - 1 - start) - escapes;
                return RawFormat::kFrameMarker;
            }
            if (c == RawFormat::kEscape) {
                ++escapes;
                ++pos;
            }
        }
        // The block ended, possibly between an escape and its byte (which
        // the next block then starts with; an escape at the very end of the
        // file makes no byte at all).
        escaped = pos > m_end;
        *count += quint64(m_end - start) - escapes;
        m_pos = m_end;
    }
}
