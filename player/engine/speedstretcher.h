// SpeedStretcher: plays mixed periods faster or slower with the pitch kept.
#pragma once

#include <QVector>

#include <memory>

namespace RubberBand {
class RubberBandStretcher;
}

// Time-stretches a mono 16-bit stream in real time so that it plays
// `speed` times as fast without changing its pitch (speech stays
// intelligible at 2x). Periods go in through push() and come out, shorter
// or longer, through take(); the first output lags the input by the
// stretcher's own latency (a few tens of ms), which reset() starts afresh.
//
// Used by one thread only (the playback loop); not for export, which is
// never stretched.
class SpeedStretcher
{
public:
    // The speeds offered to the user, slowest first; kNormalSpeed is 1x.
    static const QVector<double> &speeds();
    static constexpr double kNormalSpeed = 1.0;

    SpeedStretcher();
    ~SpeedStretcher();
    SpeedStretcher(const SpeedStretcher &) = delete;
    SpeedStretcher &operator=(const SpeedStretcher &) = delete;

    // Rebuilds the stretcher for `rate` Hz and periods of up to
    // `maxSamples`; drops anything queued.
    void configure(int rate, int maxSamples);
    // Playback speed (recording seconds per output second), > 0.
    void setSpeed(double speed);
    double speed() const { return m_speed; }
    // Drops the queued audio (after a seek), so nothing from before plays.
    void reset();

    // Feeds one period of `count` samples.
    void push(const qint16 *samples, int count);
    // Everything the stretcher has ready (possibly nothing), clipped to
    // 16 bits; valid until the next call.
    const QVector<qint16> &take();
    // The end of the sound: everything still queued, after which the
    // stretcher starts afresh; valid until the next call.
    const QVector<qint16> &drain();

private:
    void primeStart();

    std::unique_ptr<RubberBand::RubberBandStretcher> m_stretcher;
    double m_speed = kNormalSpeed;
    int m_rate = 0;
    int m_toDrop = 0; // output samples still to drop at the start (the stretcher's delay)
    QVector<float> m_in;
    QVector<float> m_out;
    QVector<qint16> m_taken;
};
