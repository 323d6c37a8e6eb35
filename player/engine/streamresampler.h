#pragma once

#include <QByteArray>
#include <QtGlobal>

struct soxr;

// Converts a continuous stream of signed 16-bit mono samples (host byte
// order) from one rate to another with a high-quality, linear-phase filter.
// The output is aligned with the input: output sample k stands for the time
// k / output rate after the first input sample; the filter's latency only
// holds the newest samples back until more input (or silence) follows.
// Owned and used by one thread at a time. Not copyable.
class StreamResampler
{
public:
    // Rates in Hz; isValid() is false when the library refuses them.
    StreamResampler(int inputRate, int outputRate);
    ~StreamResampler();
    StreamResampler(const StreamResampler &) = delete;
    StreamResampler &operator=(const StreamResampler &) = delete;

    bool isValid() const { return m_soxr != nullptr; }
    // Feeds `count` input samples and appends the output samples that are
    // ready to `out` (as bytes); false when the library failed.
    bool process(const qint16 *in, int count, QByteArray &out);
    // Forgets all input: the next sample fed starts a new stream.
    void clear();

private:
    soxr *m_soxr = nullptr;
    double m_ratio = 1; // output rate / input rate
};
