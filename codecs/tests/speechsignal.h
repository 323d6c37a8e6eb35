#pragma once

#include <QVector>
#include <QtGlobal>

#include <cmath>

// Deterministic speech-like test signal, 16-bit samples at 8 kHz: syllables
// of 120..370 ms, each voiced (pulse train at a gliding pitch through two
// formant resonators), unvoiced (noise through a high resonator) or a
// pause, under a raised-cosine envelope. `scale` sets the loudness: peaks
// reach about 1.3 x scale. Equal seeds give equal signals on every platform
// (own generator, no library distributions).
class SpeechLikeSignal
{
public:
    explicit SpeechLikeSignal(quint32 seed, double scale = 12000.0)
        : m_seed(seed ? seed : 1u), m_scale(scale)
    {
    }

    QVector<qint16> take(int count)
    {
        QVector<qint16> out(count);
        for (qint16 &sample : out)
            sample = next();
        return out;
    }

    qint16 next()
    {
        if (m_pos >= m_length)
            startSyllable();
        const double env = 0.5 - 0.5 * std::cos(2 * M_PI * m_pos / m_length);
        double excitation = 0;
        if (m_kind == Voiced) {
            m_pitch += m_pitchSlope;
            m_phase += m_pitch / 8000.0;
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
        return static_cast<qint16>(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
    }

private:
    enum Kind { Voiced, Unvoiced, Pause };

    struct Resonator
    {
        double c1 = 0, c2 = 0, gain = 0, y1 = 0, y2 = 0;

        void tune(double hz, double bandwidth)
        {
            const double r = std::exp(-M_PI * bandwidth / 8000.0);
            c1 = 2 * r * std::cos(2 * M_PI * hz / 8000.0);
            c2 = -r * r;
            gain = 1 - r; // keeps the peak response near 1 for pulses
        }
        double run(double x)
        {
            const double y = gain * x + c1 * y1 + c2 * y2;
            y2 = y1;
            y1 = y;
            return y;
        }
    };

    double uniform()
    {
        m_seed = m_seed * 1664525u + 1013904223u;
        return (m_seed >> 8) / double(1u << 24);
    }

    void startSyllable()
    {
        m_pos = 0;
        m_length = 960 + int(uniform() * 2000);
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

    quint32 m_seed;
    double m_scale;
    Kind m_kind = Pause;
    int m_pos = 0;
    int m_length = 0;
    double m_tilt = 0, m_level = 0, m_pitch = 0, m_pitchSlope = 0, m_phase = 0, m_g1 = 0, m_g2 = 0;
    Resonator m_f1, m_f2;
};
