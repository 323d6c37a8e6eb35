#include "testsignals.h"

#include <cmath>

namespace {

constexpr double kRate = 8000.0;   // Hz of the speech-like signal
constexpr double kPi = 3.14159265358979323846;
constexpr int kMinSyllable = 960;   // samples (120 ms)
constexpr int kSyllableSpread = 2000; // samples added at most (250 ms)
constexpr double kFullScale = 32767.0;

} // namespace

void SpeechSignal::Resonator::tune(double hz, double bandwidth)
{
    const double r = std::exp(-kPi * bandwidth / kRate);
    c1 = 2 * r * std::cos(2 * kPi * hz / kRate);
    c2 = -r * r;
    gain = 1 - r; // keeps the peak response near 1 for pulses
}

double SpeechSignal::Resonator::run(double x)
{
    const double y = gain * x + c1 * y1 + c2 * y2;
    y2 = y1;
    y1 = y;
    return y;
}

SpeechSignal::SpeechSignal(quint32 seed, double scale)
    : m_seed(seed ? seed : 1u)
    , m_scale(scale)
{
}

QVector<qint16> SpeechSignal::next(int count)
{
    QVector<qint16> out(count);
    for (qint16 &sample : out)
        sample = nextSample();
    return out;
}

qint16 SpeechSignal::nextSample()
{
    if (m_pos >= m_length)
        startSyllable();
    const double env = 0.5 - 0.5 * std::cos(2 * kPi * m_pos / m_length);
    double excitation = 0;
    if (m_kind == Voiced) {
        m_pitch += m_pitchSlope;
        m_phase += m_pitch / kRate;
        if (m_phase >= 1.0) {
            m_phase -= 1.0;
            excitation = 1.0;
        }
    } else if (m_kind == Unvoiced) {
        excitation = 0.08 * (uniform() - 0.5);
    }
    // Glottal spectral tilt: voiced sound falls off with frequency.
    m_tilt = (m_kind == Voiced ? 0.9 : 0.0) * m_tilt + excitation;
    const double v = m_f1.run(m_tilt) * m_g1 + m_f2.run(m_tilt) * m_g2;
    ++m_pos;
    const double s = m_scale * m_level * env * v;
    return static_cast<qint16>(qBound(-kFullScale - 1, s, kFullScale));
}

double SpeechSignal::uniform()
{
    m_seed = m_seed * 1664525u + 1013904223u;
    return (m_seed >> 8) / double(1u << 24);
}

void SpeechSignal::startSyllable()
{
    m_pos = 0;
    m_length = kMinSyllable + int(uniform() * kSyllableSpread);
    const double pick = uniform();
    m_kind = pick < 0.6 ? Voiced : pick < 0.85 ? Unvoiced : Pause;
    m_level = 0.3 + 0.7 * uniform();
    m_pitch = 90 + 160 * uniform();
    m_pitchSlope = (uniform() - 0.5) * 60.0 / m_length;
    if (m_kind == Unvoiced) {
        m_f1.tune(2500 + 1000 * uniform(), 600);
        m_f2.tune(3300, 800);
        m_g1 = 18;
        m_g2 = 12;
    } else {
        m_f1.tune(300 + 600 * uniform(), 80);
        m_f2.tune(900 + 1600 * uniform(), 120);
        m_g1 = 2.4;
        m_g2 = 1.2;
    }
}

QVector<qint16> toneSignal(double hz, int samples, int amplitude, int rate)
{
    QVector<qint16> out(samples);
    for (int i = 0; i < samples; ++i)
        out[i] = qint16(std::lround(amplitude * std::sin(2 * kPi * hz * i / rate)));
    return out;
}
