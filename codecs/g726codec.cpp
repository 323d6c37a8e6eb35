#include "g726codec.h"

G726Codec::G726Codec() : AudioCodec(0)
{
}

int G726Codec::decode(const char *in, int inBytes, qint16 *out, unsigned outCapacity,
                      int *outBytes)
{
    if (inBytes < 0 || 4 * quint64(inBytes) > outCapacity)
        return 1;
    const auto *bytes = reinterpret_cast<const unsigned char *>(in);
    for (int i = 0; i < inBytes; ++i) {
        const int byte = bytes[i];
        out[2 * i] = outputSample(m_state.decode(byte & 15));
        out[2 * i + 1] = outputSample(m_state.decode(byte >> 4));
    }
    if (outBytes)
        *outBytes = 4 * inBytes;
    return 0;
}

int G726Codec::bytesForDuration(double ms) const
{
    // Two codewords per byte: half a byte per sample.
    return truncToInt(m_sampleRate * ms / 1000 * 0.5);
}

double G726Codec::durationForBytes(int bytes) const
{
    return durationAt(bytes, m_sampleRate);
}

void G726Codec::reset()
{
    m_state.reset();
}

double G726Codec::durationAt(int bytes, int rate)
{
    return (1000.0 / rate) * bytes * 2;
}
