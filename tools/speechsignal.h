#pragma once

#include <QVector>
#include <QtGlobal>

// Deterministic speech-like test signal: a voiced source with a drifting
// pitch, two moving formant-like resonances and a syllable envelope.
// Samples are signed 16-bit at 8000 Hz.
class SpeechSignal
{
public:
    explicit SpeechSignal(quint32 seed, double level = 0.4);
    // The next `count` samples.
    QVector<qint16> next(int count);

private:
    double m_level;           // peak as a fraction of full scale
    double m_phase = 0.0;     // source phase, radians
    double m_time = 0.0;      // seconds generated so far
    double m_pitchBase;       // Hz
    double m_res[4] = {};     // two second-order resonator states
    quint32 m_noise;
};
