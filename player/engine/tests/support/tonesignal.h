#pragma once

#include "alawencoder.h"
#include "g726encoder.h"

#include <QByteArray>
#include <QVector>

#include <cmath>

// Test signals at 8000 Hz and their coded forms, for recordings whose
// playback is checked sample by sample.
namespace ToneSignal {

constexpr int kRate = 8000; // Hz

// `samples` samples of a sine tone of `hz` Hz and peak `amplitude`.
inline QVector<qint16> tone(double hz, int samples, int amplitude)
{
    QVector<qint16> out(samples);
    for (int i = 0; i < samples; ++i)
        out[i] = qint16(std::lround(amplitude * std::sin(2 * M_PI * hz * i / kRate)));
    return out;
}

// `samples` samples of one constant value.
inline QVector<qint16> constant(qint16 value, int samples)
{
    return QVector<qint16>(samples, value);
}

// A-law ("PCMA") bytes, one per sample.
inline QByteArray alaw(const QVector<qint16> &samples)
{
    return encodeALaw(samples);
}

// G.726 32 kbit/s bytes, two samples per byte, from a fresh encoder.
inline QByteArray g726(const QVector<qint16> &samples)
{
    G726Encoder encoder;
    QByteArray out((samples.size() + 1) / 2, '\0');
    out.resize(encoder.encode(samples.constData(), samples.size(), out.data()));
    return out;
}

} // namespace ToneSignal
