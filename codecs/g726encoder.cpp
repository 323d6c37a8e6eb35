#include "g726encoder.h"

int G726Encoder::encode(const qint16 *in, int sampleCount, char *out)
{
    int written = 0;
    int i = 0;
    if (m_pending >= 0 && sampleCount > 0) {
        out[written++] = static_cast<char>(m_pending | (encodeSample(in[0]) << 4));
        m_pending = -1;
        i = 1;
    }
    for (; i + 1 < sampleCount; i += 2) {
        const int low = encodeSample(in[i]);
        const int high = encodeSample(in[i + 1]);
        out[written++] = static_cast<char>(low | (high << 4));
    }
    if (i < sampleCount)
        m_pending = encodeSample(in[i]);
    return written;
}

void G726Encoder::reset()
{
    m_state.reset();
    m_pending = -1;
}
