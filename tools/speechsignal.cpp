#include "speechsignal.h"

#include <cmath>

namespace {

constexpr double kRate = 8000.0;   // Hz
constexpr double kPi = 3.14159265358979323846;

// One step of a two-pole resonator at frequency f (Hz), bandwidth bw (Hz).
double resonate(double x, double f, double bw, double *y1, double *y2)
{
    const double r = std::exp(-kPi * bw / kRate);
    const double a1 = 2.0 * r * std::cos(2.0 * kPi * f / kRate);
    const double a2 = -r * r;
    const double y = (1.0 - r) * x + a1 * *y1 + a2 * *y2;
    *y2 = *y1;
    *y1 = y;
    return y;
}

} // namespace

SpeechSignal::SpeechSignal(quint32 seed, double level)
    : m_level(level)
    , m_pitchBase(110.0 + double(seed % 7) * 15.0)
    , m_noise(seed * 2654435761u + 1u)
{
}

QVector<qint16> SpeechSignal::next(int count)
{
    QVector<qint16> out(count);
    for (int i = 0; i < count; ++i) {
        const double t = m_time;
        const double pitch = m_pitchBase * (1.0 + 0.15 * std::sin(2.0 * kPi * 0.7 * t));
        m_phase += 2.0 * kPi * pitch / kRate;
        if (m_phase > 2.0 * kPi)
            m_phase -= 2.0 * kPi;
        m_noise = m_noise * 1664525u + 1013904223u;
        const double noise = (double(m_noise >> 8) / double(1 << 24)) - 0.5;
        // Glottal-like pulse train plus a little breath noise.
        const double source = std::pow(0.5 + 0.5 * std::cos(m_phase), 8.0) + 0.05 * noise;
        const double f1 = 500.0 + 250.0 * std::sin(2.0 * kPi * 1.3 * t);
        const double f2 = 1500.0 + 600.0 * std::sin(2.0 * kPi * 0.9 * t + 1.0);
        const double v = resonate(source, f1, 90.0, &m_res[0], &m_res[1])
            + 0.6 * resonate(source, f2, 120.0, &m_res[2], &m_res[3]);
        // Syllables at about 4 per second.
        const double envelope = 0.55 + 0.45 * std::sin(2.0 * kPi * 4.0 * t);
        const double sample = v * envelope * m_level * 32767.0 * 6.0;
        out[i] = qint16(qBound(-32768.0, sample, 32767.0));
        m_time += 1.0 / kRate;
    }
    return out;
}
