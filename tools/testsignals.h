#pragma once

#include <QVector>
#include <QtGlobal>

// Deterministic test signals as signed 16-bit samples, shared by the demo
// generator, the benchmarks and the tests.

// Speech-like signal at 8000 Hz: syllables of 120..370 ms, each voiced
// (pulse train at a gliding pitch through two formant resonators), unvoiced
// (noise through a high resonator) or a pause, under a raised-cosine
// envelope. `scale` sets the loudness: peaks reach about 1.3 x scale (louder
// scales clip). Equal seeds give equal signals on every platform (own
// generator, no library distributions).
class SpeechSignal
{
public:
    explicit SpeechSignal(quint32 seed, double scale = 12000.0);

    // The next `count` samples.
    QVector<qint16> next(int count);

private:
    enum Kind { Voiced, Unvoiced, Pause };

    struct Resonator
    {
        double c1 = 0, c2 = 0, gain = 0, y1 = 0, y2 = 0;

        void tune(double hz, double bandwidth);
        double run(double x);
    };

    qint16 nextSample();
    double uniform();
    void startSyllable();

    quint32 m_seed;
    double m_scale;
    Kind m_kind = Pause;
    int m_pos = 0;
    int m_length = 0;
    double m_tilt = 0, m_level = 0, m_pitch = 0, m_pitchSlope = 0, m_phase = 0, m_g1 = 0, m_g2 = 0;
    Resonator m_f1, m_f2;
};

// `samples` samples of a sine tone of `hz` Hz and peak `amplitude` at `rate` Hz.
QVector<qint16> toneSignal(double hz, int samples, int amplitude, int rate = 8000);
